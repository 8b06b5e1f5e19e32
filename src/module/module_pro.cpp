#include "module/module_pro.h"

#include <new>
#include <utility>

#include "device/gsm_modem.h"
#include "host/register_table.h"
#include "module/module_state.h"
#include "module/null_id.h"

namespace vantor::module {

CModulePro* CModulePro::Create() noexcept {
    std::unique_ptr<CGsmModem> device(new (std::nothrow) CGsmModem());
    if (device == nullptr) return nullptr;
    // Without memory for the object, `device` still owns the device and
    // deletes it.
    return new (std::nothrow) CModulePro(std::move(device));
}

CModulePro::CModulePro(std::unique_ptr<CGsmModem> device) noexcept : device_(std::move(device)) {}

// The device closes its line as it goes.
CModulePro::~CModulePro() = default;

// --- IUnknown ---

HRESULT STDMETHODCALLTYPE CModulePro::QueryInterface(REFIID iid, void** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsNullId(iid)) return E_INVALIDARG;
    // The interface table in its search order; IID_IUnknown answers with the
    // first entry's part so that every part gives the same identity.
    if (IsEqualIID(iid, kDiidModulePro) || IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, kIidDeviceDriver)) {
        *out = static_cast<IDeviceDriver*>(this);
    } else if (IsEqualIID(iid, kIidPortSharing)) {
        *out = static_cast<IPortSharing*>(this);
    } else if (IsEqualIID(iid, IID_IDispatch)) {
        *out = static_cast<IDispatch*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CModulePro::AddRef() noexcept {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE CModulePro::Release() noexcept {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// --- IDispatch ---

HRESULT STDMETHODCALLTYPE CModulePro::GetTypeInfoCount(UINT* count) noexcept {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CModulePro::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    return index != 0 ? E_INVALIDARG : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CModulePro::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                                    DISPID* ids) noexcept {
    if (IsNullId(iid) || (count != 0 && names == nullptr)) return E_INVALIDARG;
    if (count != 0 && ids == nullptr) return E_POINTER;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

// The result, exception and argument-error pointers are optional in IDispatch.
HRESULT STDMETHODCALLTYPE CModulePro::Invoke(DISPID, REFIID iid, LCID, WORD, DISPPARAMS* params,
                                             VARIANT*, EXCEPINFO*, UINT*) noexcept {
    if (IsNullId(iid) || params == nullptr) return E_INVALIDARG;
    return DISP_E_MEMBERNOTFOUND;
}

// --- IDeviceDriver ---
// The device checks every argument it is handed (and records why a check
// failed); the methods here only forward, so that there is one place that
// validates.

std::int32_t STDMETHODCALLTYPE CModulePro::GetRegisterTable(std::int32_t reserved,
                                                            const RegisterDef** rows,
                                                            std::int32_t* count) noexcept {
    return device_->GetRegisterTable(reserved, rows, count);
}

std::int32_t STDMETHODCALLTYPE CModulePro::LinkTest(std::int32_t enable, std::int32_t a,
                                                    std::int32_t b) noexcept {
    return device_->LinkTest(enable, a, b);
}

std::int32_t STDMETHODCALLTYPE CModulePro::CheckRegister(const RegisterQuery* query,
                                                         RegisterRef* ref) noexcept {
    // The device refuses a missing record with 1 and the name error, so that
    // GetErrorText explains it.
    return device_->CheckRegister(query, ref, kRegisterTable, kRegisterCount) == 0 ? 0 : 1;
}

std::int32_t STDMETHODCALLTYPE CModulePro::DriverReserved1(std::int32_t, std::int32_t,
                                                           std::int32_t) noexcept {
    return 1;
}

std::int32_t STDMETHODCALLTYPE CModulePro::OpenPort(std::int32_t,
                                                    const PortConfig* config) noexcept {
    return device_->OpenPort(config);
}

std::int32_t STDMETHODCALLTYPE CModulePro::ClosePort() noexcept { return device_->ClosePort(); }

std::int32_t STDMETHODCALLTYPE CModulePro::DriverReserved2(std::int32_t, std::int32_t,
                                                           std::int32_t) noexcept {
    return 1;
}

std::int32_t STDMETHODCALLTYPE CModulePro::DriverReserved3(std::int32_t a, std::int32_t b,
                                                           std::int32_t c) noexcept {
    return device_->Reserved10(a, b, c);
}

std::int32_t STDMETHODCALLTYPE CModulePro::ProcessPacket(const IoPacket* packet) noexcept {
    return device_->ProcessPacket(packet, 0);
}

std::int32_t STDMETHODCALLTYPE CModulePro::CheckDeviceAddress(const char* text,
                                                              std::int32_t* address) noexcept {
    return device_->CheckDeviceAddress(text, address);
}

const char* STDMETHODCALLTYPE CModulePro::GetErrorText() noexcept {
    return device_->GetErrorText();
}

// --- IPortSharing ---

std::int32_t STDMETHODCALLTYPE CModulePro::ProcessSharedPacket(const IoPacket* packet) noexcept {
    return device_->ProcessPacket(packet, 1);
}

std::int32_t STDMETHODCALLTYPE CModulePro::SetPortHandle(const HANDLE* handle) noexcept {
    if (handle == nullptr) return 0;
    // Taken without a test, and whatever the device held stays open: the
    // host is lending a handle that another object owns.
    device_->BorrowPort(reinterpret_cast<os::Handle>(*handle));
    return 1;
}

std::int32_t STDMETHODCALLTYPE CModulePro::SharingReserved(std::int32_t, std::int32_t,
                                                           std::int32_t) noexcept {
    return 1;
}

std::int32_t STDMETHODCALLTYPE CModulePro::GetPortHandle(HANDLE* handle) noexcept {
    if (handle == nullptr) return 0;
    *handle = reinterpret_cast<HANDLE>(device_->line.PortHandle);
    return 1;
}

}  // namespace vantor::module
