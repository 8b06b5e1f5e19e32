// The message format the host chose, kept on a modem that restarts (a
// brown-out, a watchdog): it comes back with the settings of its stored
// profile, echo on and the message format as stored (PDU mode unless
// saved). The echo rule of the link learns the echo again; the format the
// host chose is put back here, once, and nothing the host did not choose is
// written.
//
// State: the format the host last set on the modem. Changed by the host's
// CMGF write (HostChose) and by nothing else; the restart flag it clears is
// the modem's reports' (device/modem_reports.h); MsgFormat, the register,
// follows what the modem was set to.
#pragma once

#include <cstdint>

#include "device/modem_reports.h"
#include "journal/recorder.h"
#include "link/serial_port.h"

namespace vantor {

class FormatKeeper {
public:
    FormatKeeper(link::Line& line, ModemReports& reports, journal::Recorder& journal,
                 std::int32_t& msgFormat) noexcept
        : line_(line), reports_(reports), journal_(journal), msgFormat_(msgFormat) {}

    // The modem took AT+CMGF=<format> from the host.
    void HostChose(std::int32_t format) noexcept { msgFormat_ = hostFormat_ = format; }

    // After the modem said "^SYSSTART": the host's format is put back, once
    // (tried again with the next call while the modem refuses it). Not while
    // the link is held for its tests (`linkAdmits` false).
    void RestoreAfterRestart(bool linkAdmits) noexcept;

    // A text-mode command was refused. A modem that restarted without being
    // heard doing so is back in PDU mode: when it says so and the host chose
    // text mode, text mode is put back. True then: the command may be tried
    // again.
    bool RestoreTextMode() noexcept;

private:
    int SetModemFormat(std::int32_t format) noexcept;

    link::Line& line_;
    ModemReports& reports_;
    journal::Recorder& journal_;
    std::int32_t& msgFormat_;
    std::int32_t hostFormat_ = -1;  // -1: the host set none yet
};

}  // namespace vantor
