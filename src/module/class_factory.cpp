#include "module/class_factory.h"

#include "module/interfaces.h"
#include "module/module_pro.h"
#include "module/module_state.h"
#include "module/null_id.h"

namespace vantor::module {

HRESULT STDMETHODCALLTYPE CClassFactory::QueryInterface(REFIID iid, void** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsNullId(iid)) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CClassFactory::AddRef() noexcept {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE CClassFactory::Release() noexcept {
    return static_cast<ULONG>(InterlockedDecrement(&references_));
}

HRESULT STDMETHODCALLTYPE CClassFactory::CreateInstance(IUnknown* outer, REFIID iid,
                                                        void** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    // Checked before an object exists, so a refusal creates and counts none.
    if (IsNullId(iid)) return E_INVALIDARG;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    CModulePro* object = CModulePro::Create();
    if (object == nullptr) return E_OUTOFMEMORY;
    // The creation reference is dropped after the query: on success the caller
    // holds the only reference, on failure the object goes away again.
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE CClassFactory::LockServer(BOOL lock) noexcept {
    if (lock) {
        LockModule();
    } else {
        UnlockModule();
    }
    return S_OK;
}

const CLSID& CClassFactory::ClassId() const noexcept { return kClsidModulePro; }

const char* CClassFactory::ProgId() const noexcept { return kProgId; }

LONG CClassFactory::ReferenceCount() const noexcept {
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&references_), 0, 0);
}

namespace {
// Constant-initialised: it exists before any code of the module runs.
CClassFactory g_moduleProFactory;
}  // namespace

CClassFactory& ModuleProFactory() noexcept { return g_moduleProFactory; }

}  // namespace vantor::module
