// Module-wide state shared by the exports, the class factory and CModulePro:
// the module handle, the object count read by DllCanUnloadNow, and the lock
// that guards the module's list of class factories.
#pragma once

#include <windows.h>

namespace vantor::module {

// Set at DLL_PROCESS_ATTACH; the registration needs it for the module path.
HMODULE ModuleHandle() noexcept;
void SetModuleHandle(HMODULE module) noexcept;

// Raised for every live CModulePro and every LockServer(TRUE), lowered for
// every destroyed object and LockServer(FALSE). Interlocked only.
void LockModule() noexcept;
void UnlockModule() noexcept;
LONG ObjectCount() noexcept;

// One count on the module for as long as the holder lives: every CModulePro
// holds one, so DllCanUnloadNow refuses while any object exists.
class ModuleLock {
public:
    ModuleLock() noexcept { LockModule(); }
    ~ModuleLock() { UnlockModule(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

// Held while the exports read the class-factory list. Created at process
// attach and deleted at process detach.
void InitFactoryLock() noexcept;
void DeleteFactoryLock() noexcept;

class FactoryListGuard {
public:
    FactoryListGuard() noexcept;
    ~FactoryListGuard();
    FactoryListGuard(const FactoryListGuard&) = delete;
    FactoryListGuard& operator=(const FactoryListGuard&) = delete;
};

}  // namespace vantor::module
