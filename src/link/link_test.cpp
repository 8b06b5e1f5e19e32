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

int ProbeLine(Line& line) noexcept {
    const os::Handle port = line.PortHandle;
    DrainLine(line, true);  // traced, so a late answer shows in the trace
    os::PurgeComm(port, kPurgeAll);
    os::Sleep(kSettleMs);
    std::uint32_t written = 0;
    os::WriteFile(port, kProbe, sizeof kProbe, &written);
    os::Sleep(kAnswerWaitMs);

    // Read everything that is waiting and drop it, so that the next exchange
    // starts on a clean line.
    const std::uint32_t total = DrainLine(line, false);
    return total >= 1 ? 1 : 0;
}

}  // namespace vantor::link
