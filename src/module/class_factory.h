// The static class factory of CModulePro. It lives as long as the module, so
// Release never frees it; its reference count starts at 1 (the module's own
// reference) and only tells DllCanUnloadNow whether a host still holds it.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace vantor::module {

class CClassFactory final : public IClassFactory {
public:
    CClassFactory() noexcept = default;
    CClassFactory(const CClassFactory&) = delete;
    CClassFactory& operator=(const CClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                             void** out) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

    const CLSID& ClassId() const noexcept;
    const char* ProgId() const noexcept;
    LONG ReferenceCount() const noexcept;
    bool Available() const noexcept { return available_; }
    void MarkAvailable() noexcept { available_ = true; }

private:
    volatile LONG references_ = 1;
    bool available_ = false;
};

// The module's one class factory, bound to CModulePro.
CClassFactory& ModuleProFactory() noexcept;

}  // namespace vantor::module
