// CDriverBase: construction, and its serial and check members as calls into
// the link and the host checks with the object's own state.
#include "device/driver_base.h"

#include "host/register_check.h"
#include "link/serial_port.h"

namespace vantor {

CDriverBase::CDriverBase() noexcept = default;

CDriverBase::~CDriverBase() { link::ClosePort(line); }

int CDriverBase::OpenPort(const PortConfig* config) noexcept { return link::OpenPort(line, config); }
int CDriverBase::ClosePort() noexcept { return link::ClosePort(line); }
int CDriverBase::ReconnectPort() noexcept { return link::ReconnectPort(line); }
void CDriverBase::BorrowPort(os::Handle handle) noexcept { link::BorrowPort(line, handle); }

int CDriverBase::ReadPort(std::uint8_t* destination, std::uint32_t* count) noexcept {
    if (!link::Holds(line)) {
        if (count != nullptr) *count = 0;
        return 0;
    }
    return link::ReadPort(line.PortHandle, destination, count);
}

int CDriverBase::WritePort(const std::uint8_t* bytes, std::int32_t length) noexcept {
    if (!link::Holds(line)) return 0;
    return link::WritePort(line.PortHandle, bytes, length);
}

int CDriverBase::GetRegisterTable(std::int32_t /*reserved*/, const RegisterDef** rows,
                                  std::int32_t* count) noexcept {
    return host::GetRegisterTable(rows, count);
}

std::int16_t CDriverBase::CheckRegister(const RegisterQuery* query, RegisterRef* ref,
                                        const RegisterDef* table, std::int32_t rows) noexcept {
    return host::CheckRegister(query, ref, table, rows, &LastErrorCode);
}

int CDriverBase::CheckDeviceAddress(const char* text, std::int32_t* address) noexcept {
    return host::CheckDeviceAddress(text, address, &LastErrorCode);
}

const char* CDriverBase::GetErrorText() noexcept { return host::TakeErrorText(&LastErrorCode); }

}  // namespace vantor
