#include "device/link_health.h"

#include "diag/trace.h"
#include "host/records.h"
#include "os/os.h"

namespace vantor {

namespace {

constexpr std::int32_t kFailuresBeforeReconnect = 5;
// Around the reopening of the port: the line settles before it is closed,
// and the modem gets a second before it is asked again.
constexpr std::uint32_t kPauseBeforeReconnectMs = 200;
constexpr std::uint32_t kPauseAfterReconnectMs = 1000;

}  // namespace

bool LinkHealth::Admits(std::int16_t kind) const noexcept {
    return errCount_ == 0 || kind == kAT;
}

bool LinkHealth::TestDue() noexcept {
    if (errCount_ < kFailuresBeforeReconnect) return true;
    ++errCount_;
    Trace("ErrCount: %d\n", errCount_);
    const std::uint32_t limit = (eDelay_ & 0xFFFFu) / 30 + 8;
    if (static_cast<std::uint32_t>(errCount_) > limit) errCount_ = 0;
    return false;
}

void LinkHealth::Tested(bool answered) noexcept {
    if (answered) {
        errCount_ = 0;
        journal_.LinkPassed();
        return;
    }
    ++errCount_;
    Trace("ErrCount: %d\n", errCount_);
    if (errCount_ >= kFailuresBeforeReconnect) {
        os::Sleep(kPauseBeforeReconnectMs);
        const int reopened = link::ReconnectPort(line_);
        os::Sleep(kPauseAfterReconnectMs);
        journal_.LinkLost(errCount_, reopened != 0);
    }
}

}  // namespace vantor
