// The health of the link: the link test with its back-off, and the gate that
// holds other traffic while the link tests fail.
#include "device/gsm_modem.h"
#include "diag/trace.h"
#include "os/os.h"

namespace vantor {

namespace {

constexpr std::int32_t kFailuresBeforeReconnect = 5;
// Around the reopening of the port: the line settles before it is closed,
// and the modem gets a second before it is asked again.
constexpr std::uint32_t kPauseBeforeReconnectMs = 200;
constexpr std::uint32_t kPauseAfterReconnectMs = 1000;

}  // namespace

// While link tests fail only the link test itself may reach the modem.
bool CGsmModem::LinkAdmits(std::int16_t kind) const noexcept {
    return ErrCount == 0 || kind == kAT;
}

// The link test with back-off. Failures count up in ErrCount; the fifth in a
// row reopens the port, and the following reads up to the limit
// EDelay / 30 + 8 are skipped without traffic, giving the modem time to
// recover before it is asked again.
int CGsmModem::RunLinkTest(const IoPacket* packet, std::int32_t deliveryFlag,
                           std::uint8_t* request, std::uint8_t* value,
                           std::int32_t* valueLength) noexcept {
    if (ErrCount < kFailuresBeforeReconnect) {
        value[0] = 0;
        std::int32_t requestLength = 0;
        std::int32_t second = 0;
        if (BuildRequest(packet, request, &requestLength, &second, deliveryFlag) == 0) return 0;
        if (Exchange(request, &requestLength, second) != 0) {
            value[0] = 1;
            ErrCount = 0;
            journal_.LinkPassed();
        } else {
            ++ErrCount;
            Trace("ErrCount: %d\n", ErrCount);
            if (ErrCount >= kFailuresBeforeReconnect) {
                os::Sleep(kPauseBeforeReconnectMs);
                const int reopened = ReconnectPort();
                os::Sleep(kPauseAfterReconnectMs);
                journal_.LinkLost(ErrCount, reopened != 0);
            }
        }
        *valueLength = 1;
        return 1;
    }
    ++ErrCount;
    Trace("ErrCount: %d\n", ErrCount);
    const std::uint32_t limit = (EDelay & 0xFFFFu) / 30 + 8;
    if (static_cast<std::uint32_t>(ErrCount) > limit) ErrCount = 0;
    return 0;
}

}  // namespace vantor
