// A modem that restarts (a brown-out, a watchdog) comes back with the
// settings of its stored profile: echo on, and the message format as stored
// (PDU mode unless saved). The echo rule of the link learns the echo again;
// the message format the host chose is put back here, once, and nothing the
// host did not choose is written.
#include <cstdio>
#include <cstring>

#include "device/gsm_modem.h"
#include "device/values.h"
#include "diag/trace.h"

namespace vantor {

// AT+CMGF=<format>. 1 when the modem took it.
int CGsmModem::SetModemFormat(std::int32_t format) noexcept {
    std::uint8_t request[kAnswerSize] = {};
    std::int32_t length = std::snprintf(reinterpret_cast<char*>(request), 32, "AT+CMGF=%d\r\n",
                                        static_cast<int>(format));
    return link::Exchange(line, request, &length);
}

// After the modem said "^SYSSTART". While link tests fail only they may
// reach the modem; the format waits for the link to be back.
void CGsmModem::RestoreAfterRestart() noexcept {
    if (!reports.restartSeen || !LinkAdmits(kCMGF)) return;
    reports.restartSeen = false;
    if (HostFormat < 0) {
        Trace("Modem restarted\n");
        journal_.Restarted(-1);
        return;
    }
    if (SetModemFormat(HostFormat) == 1) {
        Trace("Modem restarted: message format %d restored\n", static_cast<int>(HostFormat));
        journal_.Restarted(HostFormat);
        MsgFormat = HostFormat;
    } else {
        Trace("Modem restarted: message format %d not restored yet\n", static_cast<int>(HostFormat));
        reports.restartSeen = true;  // tried again with the next packet
    }
}

// A text-mode command was refused. A modem that restarted without being
// heard doing so is back in PDU mode: when it says so and the host chose
// text mode, text mode is put back. True then: the command may be tried
// again.
bool CGsmModem::RestoreTextMode() noexcept {
    if (HostFormat != 1) return false;
    std::uint8_t answer[kAnswerSize] = "AT+CMGF?\r\n";
    std::int32_t length = 10;
    if (link::Exchange(line, answer, &length) != 1) return false;
    std::int8_t format = -1;
    if (!ParseFormat(reinterpret_cast<const char*>(answer), &format) || format != 0 ||
        SetModemFormat(1) != 1)
        return false;
    Trace("Modem restarted: message format 1 restored\n");
    journal_.Restarted(1);
    reports.restartSeen = false;  // restored once, whichever way it was noticed
    return true;
}

}  // namespace vantor
