// Run-time control of modemsim: one text command changes the model's
// settings or faults (the same words serve the command-line options).
#pragma once

#include <cstdint>
#include <string>

#include "modem/modem_model.h"

namespace modemsim {

struct ControlResult {
    bool ok = true;
    std::string error;
    std::uint64_t hangup_ms = 0;  // > 0: close the pty for this long
};

// Applies one control line such as "silence on", "cms 500 CMGS",
// "deliver unread 0004...", "hangup 3000". See README.md for the list.
ControlResult ApplyControl(modem::Tc35Model& model, const std::string& line, std::uint64_t now_ms);

}  // namespace modemsim
