// The host's side of the records: it allocates IoPackets, their item lists
// and IoItems itself, fills them from the RegisterRef that the module's
// register check returned, and hands them to the module.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "module/interfaces.h"

namespace vhost {

struct PortSettings {
    std::string name;  // COMn
    int baud = 9600;
    int dataBits = 8;
    int stopBits = 1;
    int parity = 0;            // Win32 code: 0 none, 1 odd, 2 even, 3 mark, 4 space
    int replyTimeoutMs = 3000;
};

// What one IoItem holds after a read packet.
struct ItemValue {
    std::uint16_t dataType = 0;
    std::uint32_t value = 0;
    std::uint16_t quality = 0;
    FILETIME stamp{};
    bool delivered = false;  // quality or time stamp were written
    std::string text;        // type 256: the atom's text (ANSI)
};

class HostSession {
public:
    HostSession(vantor::IDeviceDriver* driver, vantor::IPortSharing* sharing);

    // The lowest data type that the register table allows for the name's row,
    // as a host offers it; 0 when no row name starts the text.
    std::int16_t DefaultType(const std::string& name) const;

    // CheckRegister: true when valid. On failure `error` gets GetErrorText.
    bool Check(const std::string& name, std::int16_t dataType, vantor::RegisterRef& ref, std::string& error);
    // Check with the register's default type.
    bool Check(const std::string& name, vantor::RegisterRef& ref, std::string& error);

    bool OpenPort(const PortSettings& settings);
    bool ClosePort();
    bool LinkTest();

    // Read packet with one item per reference, all of one kind; returns the
    // module's result and one value per reference.
    int Read(const std::vector<vantor::RegisterRef>& refs, std::vector<ItemValue>& values);
    // Write packet with one item. The text is ANSI; integers are parsed by the
    // reference's data type. False with `error` when the value does not fit.
    bool Write(const vantor::RegisterRef& ref, const std::string& value, int& result, std::string& error);

    // Called after every module call that can talk to the modem, before its
    // result is shown (the trace listener empties its queue there).
    void SetAfterCall(std::function<void()> afterCall) { afterCall_ = std::move(afterCall); }

    // Duration of the last module call (packet or port call), milliseconds.
    double LastCallMs() const { return lastCallMs_; }

private:
    vantor::IDeviceDriver* driver_;
    vantor::IPortSharing* sharing_;
    const vantor::RegisterDef* table_ = nullptr;
    std::int32_t rows_ = 0;
    double lastCallMs_ = 0;
    std::function<void()> afterCall_;
};

// "2026-12-10 11:52:01.123" in local time.
std::string FormatStamp(const FILETIME& stamp);

}  // namespace vhost
