// The DLL entry point and the three exports of the in-process server. Their
// undecorated names come from vantor.def.
#include <windows.h>
#include <objbase.h>

#include "module/application.h"
#include "module/class_factory.h"
#include "module/module_state.h"
#include "module/null_id.h"
#include "module/registration.h"

using namespace vantor::module;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        SetModuleHandle(instance);
        DisableThreadLibraryCalls(instance);
        InitFactoryLock();
        Application().InitInstance();
        break;
    case DLL_PROCESS_DETACH:
        DeleteFactoryLock();
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsNullId(clsid) || IsNullId(iid)) return E_INVALIDARG;
    FactoryListGuard guard;
    CClassFactory& factory = ModuleProFactory();
    if (!IsEqualCLSID(clsid, factory.ClassId()) || !factory.Available()) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    FactoryListGuard guard;
    // The factory's own reference is the 1 that stays.
    return ObjectCount() == 0 && ModuleProFactory().ReferenceCount() <= 1 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    FactoryListGuard guard;
    CClassFactory& factory = ModuleProFactory();
    // regsvr32 shows this result: a refused registry write must not read as
    // success, or the host later cannot create the object.
    return RegisterServer(factory.ClassId(), factory.ProgId(), ModuleHandle());
}
