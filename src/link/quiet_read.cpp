// The text-mode listing's read: the modem gives no final pattern the driver
// waits for here, so the answer counts as complete once a whole second passes
// without a new byte queued.
#include <cstring>

#include "link/exchange.h"
#include "os/os.h"

namespace vantor::link {
namespace {

constexpr std::uint32_t kQuietMs = 1000;

// Bytes waiting in the port's input queue; 0 when the port cannot tell.
std::uint32_t QueuedBytes(os::Handle port) noexcept {
    if (port == os::kInvalidHandle) return 0;
    std::uint32_t errors = 0;
    os::ComStat stat{};
    if (os::ClearCommError(port, &errors, &stat) == 0) return 0;
    return stat.cbInQue;
}

}  // namespace

std::uint32_t ListUntilQuiet(os::Handle port, const char* command, std::uint8_t* answer) noexcept {
    WritePort(port, reinterpret_cast<const std::uint8_t*>(command),
              static_cast<std::int32_t>(std::strlen(command)));
    os::Sleep(kQuietMs);

    constexpr std::uint32_t kRoom = kAnswerSize - 1;  // keeps the terminating zero
    std::uint32_t total = 0;
    std::uint32_t queued = QueuedBytes(port);
    while (queued > 0 && queued <= kRoom - total) {
        std::uint32_t got = 0;
        const int ok = os::ReadFile(port, answer + total, queued, &got);
        // A port that reports bytes but yields none would keep this loop
        // going forever.
        if (ok == 0 || got == 0) break;
        total += got < queued ? got : queued;
        os::Sleep(kQuietMs);
        queued = QueuedBytes(port);
    }
    answer[total] = 0;
    return total;
}

}  // namespace vantor::link
