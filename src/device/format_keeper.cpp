// The host's message format put back after the modem restarted.
#include <cstdio>
#include <cstring>

#include "device/format_keeper.h"
#include "device/values.h"
#include "diag/trace.h"
#include "link/exchange.h"

namespace vantor {

// AT+CMGF=<format>. 1 when the modem took it.
int FormatKeeper::SetModemFormat(std::int32_t format) noexcept {
    std::uint8_t request[kAnswerSize] = {};
    std::int32_t length = std::snprintf(reinterpret_cast<char*>(request), 32, "AT+CMGF=%d\r\n",
                                        static_cast<int>(format));
    return link::Exchange(line_, request, &length);
}

void FormatKeeper::RestoreAfterRestart(bool linkAdmits) noexcept {
    if (!reports_.restartSeen || !linkAdmits) return;
    reports_.restartSeen = false;
    if (hostFormat_ < 0) {
        Trace("Modem restarted\n");
        journal_.Restarted(-1);
        return;
    }
    if (SetModemFormat(hostFormat_) == 1) {
        Trace("Modem restarted: message format %d restored\n", static_cast<int>(hostFormat_));
        journal_.Restarted(hostFormat_);
        msgFormat_ = hostFormat_;
    } else {
        Trace("Modem restarted: message format %d not restored yet\n", static_cast<int>(hostFormat_));
        reports_.restartSeen = true;  // tried again with the next packet
    }
}

bool FormatKeeper::RestoreTextMode() noexcept {
    if (hostFormat_ != 1) return false;
    std::uint8_t answer[kAnswerSize] = "AT+CMGF?\r\n";
    std::int32_t length = 10;
    if (link::Exchange(line_, answer, &length) != 1) return false;
    std::int8_t format = -1;
    if (!ParseFormat(reinterpret_cast<const char*>(answer), &format) || format != 0 ||
        SetModemFormat(1) != 1)
        return false;
    Trace("Modem restarted: message format 1 restored\n");
    journal_.Restarted(1);
    reports_.restartSeen = false;  // restored once, whichever way it was noticed
    return true;
}

}  // namespace vantor
