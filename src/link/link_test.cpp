// The short "AT" probe the host can run on the link. Any answer counts: the
// modem only has to show that it is there, so "OK", "ERROR" and noise alike
// make the test pass.
#include "link/exchange.h"
#include "os/os.h"

namespace vantor::link {
namespace {

constexpr std::uint32_t kPurgeAll =
    os::kPurgeTxAbort | os::kPurgeRxAbort | os::kPurgeTxClear | os::kPurgeRxClear;  // 15
constexpr std::uint32_t kSettleMs = 20;
constexpr std::uint32_t kAnswerWaitMs = 500;
constexpr std::uint8_t kProbe[] = {'A', 'T', '\r'};

}  // namespace

int ProbeLine(os::Handle port) noexcept {
    CleanLine(port);  // traced, so a late answer shows in the trace
    os::PurgeComm(port, kPurgeAll);
    os::Sleep(kSettleMs);
    std::uint32_t written = 0;
    os::WriteFile(port, kProbe, sizeof kProbe, &written);
    os::Sleep(kAnswerWaitMs);

    std::uint32_t errors = 0;
    os::ComStat status{};
    if (!os::ClearCommError(port, &errors, &status)) return 0;
    // Read everything that is waiting and drop it, so that the next exchange
    // starts on a clean line.
    std::uint8_t sink[kReadChunk];
    std::uint32_t total = 0;
    while (total < status.cbInQue) {
        const std::uint32_t left = status.cbInQue - total;
        std::uint32_t got = 0;
        if (!os::ReadFile(port, sink, left < sizeof sink ? left : sizeof sink, &got) ||
            got == 0)
            break;
        total += got;
    }
    return total >= 1 ? 1 : 0;
}

}  // namespace vantor::link
