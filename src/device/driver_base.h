// CDriverBase: the abstract device driver. It declares the driver slot table
// (the virtual destructor, then twelve operations in a fixed order) and holds
// its serial line (link::Line: the handle, the reply time-out, the stored
// configuration) and the last error code of the register checks. Its serial
// and check members are thin calls into src/link and src/host.
#pragma once

#include <cstdint>

#include "host/records.h"
#include "link/serial_port.h"
#include "os/os.h"

namespace vantor {

class CDriverBase {
public:
    CDriverBase() noexcept;
    CDriverBase(const CDriverBase&) = delete;
    CDriverBase& operator=(const CDriverBase&) = delete;

    // --- the driver slot table, in declaration order ---
    virtual ~CDriverBase();
    virtual int Reserved1(std::int32_t, std::int32_t) noexcept = 0;
    virtual int Reserved2(std::int32_t, std::int32_t, std::int32_t, std::int32_t) noexcept = 0;
    virtual int Reserved3(std::int32_t, std::int32_t, std::int32_t, std::int32_t) noexcept = 0;
    virtual int BuildRequest(const IoPacket* packet, std::uint8_t* request, std::int32_t* length,
                             std::int32_t* second, std::int32_t deliveryFlag) noexcept = 0;
    virtual int Exchange(std::uint8_t* buffer, std::int32_t* length, std::int32_t unused) noexcept = 0;
    virtual int Reserved6(std::int32_t, std::int32_t, std::int32_t) noexcept = 0;
    virtual int DeliverRaw(const IoPacket* packet, const std::uint8_t* value,
                           std::int32_t length) noexcept = 0;
    virtual int Deliver(const IoPacket* packet, std::uint8_t* value, std::int32_t length,
                        std::int32_t deliveryFlag) noexcept = 0;
    virtual int ProcessPacket(const IoPacket* packet, std::int32_t deliveryFlag) noexcept = 0;
    virtual int Reserved10(std::int32_t, std::int32_t, std::int32_t) noexcept = 0;
    virtual int Reserved11(std::int32_t, std::int32_t, std::int32_t) noexcept = 0;
    virtual int LinkTest(std::int32_t enable, std::int32_t, std::int32_t) noexcept = 0;

    // --- serial port (src/link/serial_port.cpp) ---
    int OpenPort(const PortConfig* config) noexcept;
    int ClosePort() noexcept;
    int ReconnectPort() noexcept;
    void BorrowPort(os::Handle handle) noexcept;
    int ReadPort(std::uint8_t* destination, std::uint32_t* count) noexcept;
    int WritePort(const std::uint8_t* bytes, std::int32_t length) noexcept;

    // --- register table and checks (src/host/register_check.cpp) ---
    int GetRegisterTable(std::int32_t reserved, const RegisterDef** rows,
                         std::int32_t* count) noexcept;
    std::int16_t CheckRegister(const RegisterQuery* query, RegisterRef* ref,
                               const RegisterDef* table, std::int32_t rows) noexcept;
    int CheckDeviceAddress(const char* text, std::int32_t* address) noexcept;
    const char* GetErrorText() noexcept;

    std::int32_t LastErrorCode = -1;

    // The serial line this device talks on. It closes with the device: a
    // handle shared with another device is closed once, by whichever goes
    // first (the link's port table sees to that).
    link::Line line;
};

}  // namespace vantor
