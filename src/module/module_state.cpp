#include "module/module_state.h"

namespace vantor::module {
namespace {

HMODULE g_module = nullptr;
volatile LONG g_objectCount = 0;
CRITICAL_SECTION g_factoryLock;
bool g_factoryLockReady = false;

}  // namespace

HMODULE ModuleHandle() noexcept { return g_module; }
void SetModuleHandle(HMODULE module) noexcept { g_module = module; }

void LockModule() noexcept { InterlockedIncrement(&g_objectCount); }
void UnlockModule() noexcept { InterlockedDecrement(&g_objectCount); }
LONG ObjectCount() noexcept { return InterlockedCompareExchange(&g_objectCount, 0, 0); }

void InitFactoryLock() noexcept {
    if (!g_factoryLockReady) {
        InitializeCriticalSection(&g_factoryLock);
        g_factoryLockReady = true;
    }
}

void DeleteFactoryLock() noexcept {
    if (g_factoryLockReady) {
        g_factoryLockReady = false;
        DeleteCriticalSection(&g_factoryLock);
    }
}

FactoryListGuard::FactoryListGuard() noexcept {
    if (g_factoryLockReady) EnterCriticalSection(&g_factoryLock);
}

FactoryListGuard::~FactoryListGuard() {
    if (g_factoryLockReady) LeaveCriticalSection(&g_factoryLock);
}

}  // namespace vantor::module
