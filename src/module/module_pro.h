// CModulePro: the COM object the host creates for each modem device. A thin
// shell around one CGsmModem: an empty IDispatch part (which is also the
// object's IUnknown), the IDeviceDriver part and the IPortSharing part, all on
// one reference count. Every host method forwards to the device.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>

#include "module/interfaces.h"
#include "module/module_state.h"

namespace vantor {
class CGsmModem;
}

namespace vantor::module {

class CModulePro final : public IDispatch, public IDeviceDriver, public IPortSharing {
public:
    // The factory's creation routine: a new object with its device, reference
    // count 1 and the module's object count raised; null when out of memory.
    static CModulePro* Create() noexcept;

    CModulePro(const CModulePro&) = delete;
    CModulePro& operator=(const CModulePro&) = delete;

    // --- IUnknown, shared by all parts ---
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    // --- IDispatch: no names, no members ---
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale,
                                          ITypeInfo** info) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) noexcept override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) noexcept override;

    // --- IDeviceDriver ---
    std::int32_t STDMETHODCALLTYPE GetRegisterTable(std::int32_t reserved, const RegisterDef** rows,
                                                    std::int32_t* count) noexcept override;
    std::int32_t STDMETHODCALLTYPE LinkTest(std::int32_t enable, std::int32_t a,
                                            std::int32_t b) noexcept override;
    std::int32_t STDMETHODCALLTYPE CheckRegister(const RegisterQuery* query,
                                                 RegisterRef* ref) noexcept override;
    std::int32_t STDMETHODCALLTYPE DriverReserved1(std::int32_t, std::int32_t,
                                                   std::int32_t) noexcept override;
    std::int32_t STDMETHODCALLTYPE OpenPort(std::int32_t reserved,
                                            const PortConfig* config) noexcept override;
    std::int32_t STDMETHODCALLTYPE ClosePort() noexcept override;
    std::int32_t STDMETHODCALLTYPE DriverReserved2(std::int32_t, std::int32_t,
                                                   std::int32_t) noexcept override;
    std::int32_t STDMETHODCALLTYPE DriverReserved3(std::int32_t a, std::int32_t b,
                                                   std::int32_t c) noexcept override;
    std::int32_t STDMETHODCALLTYPE ProcessPacket(const IoPacket* packet) noexcept override;
    std::int32_t STDMETHODCALLTYPE CheckDeviceAddress(const char* text,
                                                      std::int32_t* address) noexcept override;
    const char* STDMETHODCALLTYPE GetErrorText() noexcept override;

    // --- IPortSharing ---
    std::int32_t STDMETHODCALLTYPE ProcessSharedPacket(const IoPacket* packet) noexcept override;
    std::int32_t STDMETHODCALLTYPE SetPortHandle(const HANDLE* handle) noexcept override;
    std::int32_t STDMETHODCALLTYPE SharingReserved(std::int32_t, std::int32_t,
                                                   std::int32_t) noexcept override;
    std::int32_t STDMETHODCALLTYPE GetPortHandle(HANDLE* handle) noexcept override;

private:
    explicit CModulePro(std::unique_ptr<CGsmModem> device) noexcept;
    ~CModulePro();

    volatile LONG references_ = 1;
    // Declared before the device: the module count drops only after the
    // device is gone.
    ModuleLock moduleLock_;
    const std::unique_ptr<CGsmModem> device_;  // never null while the object lives
};

}  // namespace vantor::module
