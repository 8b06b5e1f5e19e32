// Open, configure, close and reopen the port, and the raw, never-waiting read
// and the single-call write.
#include "link/serial_port.h"

#include <cstring>

#include "diag/trace.h"
#include "link/port_handles.h"
#include "os/unique_handle.h"
#include "os/os.h"

namespace vantor::link {
namespace {

constexpr std::uint32_t kInQueue = 8192;
constexpr std::uint32_t kOutQueue = 512;
constexpr std::uint32_t kCommMask = os::kEvRxFlag | os::kEvBreak;  // 0x42
constexpr std::uint32_t kPurgeAll =
    os::kPurgeTxAbort | os::kPurgeRxAbort | os::kPurgeTxClear | os::kPurgeRxClear;  // 15
constexpr std::uint32_t kWriteMsPerByte = 40;
constexpr std::uint32_t kReconnectPauseMs = 300;
constexpr char kDevicePrefix[] = "//./";

// One and a half stop bits cannot be chosen; anything but 2 means one.
std::uint8_t StopBitsFor(std::int16_t field) noexcept {
    return field == 2 ? os::kTwoStopBits : os::kOneStopBit;
}

}  // namespace

int OpenPort(Line& line, const PortConfig* config) noexcept {
    if (config == nullptr) return 0;
    // ReconnectPort passes the stored copy itself.
    if (config != &line.StoredConfig)
        std::memcpy(&line.StoredConfig, config, sizeof line.StoredConfig);
    const PortConfig& c = line.StoredConfig;

    if (c.baudRate < kMinBaudRate || c.baudRate > kMaxBaudRate) return 0;
    line.ReplyTimeout = c.replyTimeout;  // sign-extended

    // A name that fills its field without a terminator is refused rather than
    // read past the record.
    const void* end = std::memchr(c.portName, '\0', sizeof c.portName);
    if (end == nullptr) return 0;
    char path[sizeof kDevicePrefix - 1 + sizeof c.portName];
    std::memcpy(path, kDevicePrefix, sizeof kDevicePrefix - 1);
    std::memcpy(path + sizeof kDevicePrefix - 1, c.portName,
                static_cast<std::size_t>(static_cast<const char*>(end) - c.portName) + 1);

    // Closed again on every early return below.
    os::UniqueHandle port(os::CreateFileA(path, os::kGenericRead | os::kGenericWrite, 0,
                                      os::kOpenExisting, os::kFileAttributeNormal));
    if (!port.Valid()) return 0;
    const os::Handle h = port.Get();

    os::SetupComm(h, kInQueue, kOutQueue);

    // Only the line settings change; flow control, DTR/RTS handling and the
    // special characters stay as the port had them.
    os::Dcb dcb{};
    os::GetCommState(h, &dcb);
    dcb.BaudRate = static_cast<std::uint32_t>(c.baudRate);
    dcb.ByteSize = c.dataBits;
    dcb.Parity = c.parity;
    dcb.StopBits = StopBitsFor(c.stopBits);
    if (!os::SetCommState(h, &dcb)) return 0;

    os::SetCommMask(h, kCommMask);
    os::PurgeComm(h, kPurgeAll);

    // Reads return at once with whatever has arrived; a write may take 40 ms
    // per byte before it gives up.
    const os::CommTimeouts timeouts{os::kMaxDword, 0, 0, kWriteMsPerByte, 0};
    os::SetCommTimeouts(h, &timeouts);

    // Without a place in the table the handle could never be closed.
    const std::uint32_t generation = port_handles::Register(h, c.portName);
    if (generation == 0) return 0;
    line.HandleGeneration = generation;
    std::memcpy(line.PortName, c.portName, sizeof line.PortName);
    line.Lost = false;
    line.PortHandle = port.Release();
    return 1;
}

// The handle is closed only when this module opened it and nobody closed it
// yet: devices sharing one handle each call ClosePort, a handle the host
// handed in from elsewhere is not ours to close, and neither is a newer
// opening that got the value this line still holds.
int ClosePort(Line& line) noexcept {
    if (line.PortHandle == os::kInvalidHandle) return 0;
    if (port_handles::Release(line.PortHandle, line.HandleGeneration))
        os::CloseHandle(line.PortHandle);
    line.PortHandle = os::kInvalidHandle;
    line.HandleGeneration = 0;
    line.PortName[0] = '\0';
    line.Lost = false;
    return 1;
}

void BorrowPort(Line& line, os::Handle handle) noexcept {
    line.PortHandle = handle;
    line.HandleGeneration = port_handles::GenerationOf(handle);
    if (!port_handles::NameOf(handle, line.PortName)) line.PortName[0] = '\0';
    line.Lost = false;
}

bool Holds(Line& line) noexcept {
    // A handle this module did not open (or none) has nothing to be checked
    // against; the system's own calls judge it.
    if (line.HandleGeneration == 0) return true;
    if (port_handles::GenerationOf(line.PortHandle) == line.HandleGeneration) return true;
    // The opening was closed. The port's next opening in this module, if
    // there is one, is the one the host's objects now share.
    os::Handle handle = os::kInvalidHandle;
    std::uint32_t generation = 0;
    if (port_handles::FindOpening(line.PortName, &handle, &generation)) {
        line.PortHandle = handle;
        line.HandleGeneration = generation;
        line.Lost = false;
        Trace("Port %.31s: following its new opening\n", line.PortName);
        return true;
    }
    if (!line.Lost)
        Trace("Port %.31s: its handle was closed by the object that opened it; no I/O on it "
              "until the port is opened again\n", line.PortName);
    line.Lost = true;
    return false;
}

int ReconnectPort(Line& line) noexcept {
    ClosePort(line);
    os::Sleep(kReconnectPauseMs);
    return OpenPort(line, &line.StoredConfig);
}

int ReadPort(os::Handle port, std::uint8_t* destination, std::uint32_t* count) noexcept {
    if (destination == nullptr || count == nullptr) return 0;
    *count = 0;

    // Line errors (framing, parity, overrun) are cleared and dropped.
    std::uint32_t errors = 0;
    os::ComStat status{};
    if (!os::ClearCommError(port, &errors, &status)) return 0;
    if (status.cbInQue == 0) return 0;

    // What does not fit stays queued for the next call.
    const std::uint32_t wanted =
        status.cbInQue < static_cast<std::uint32_t>(kReadChunk) ? status.cbInQue : kReadChunk;
    std::uint32_t got = 0;
    if (!os::ReadFile(port, destination, wanted, &got) || got == 0) return 0;
    *count = got;
    return 1;
}

// A short write (the 40 ms per byte time-out ran out) is a failure: what was
// cut off never reaches the modem.
int WritePort(os::Handle port, const std::uint8_t* bytes, std::int32_t length) noexcept {
    if (bytes == nullptr || length <= 0) return 0;
    std::uint32_t sent = 0;
    if (!os::WriteFile(port, bytes, static_cast<std::uint32_t>(length), &sent)) return 0;
    Trace("**********Send nLen=%d,nSend=%ld\n", static_cast<int>(length), static_cast<long>(sent));
    return sent == static_cast<std::uint32_t>(length) ? 1 : 0;
}

}  // namespace vantor::link
