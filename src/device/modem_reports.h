// The TC35's own lines, watched for wherever the modem can put them (see
// link/unsolicited.h): its start-up line, and its report of the SIM store's
// overflow (TC35 manual 6.15, ^SMGO: while the store is full, new messages
// wait at the service centre and the plant hears nothing of them).
#pragma once

#include "link/unsolicited.h"

namespace vantor {

struct ModemReports {
    // The modem said "^SYSSTART" (it restarted and forgot the settings it
    // had not saved) since this was last cleared.
    bool restartSeen = false;

    // The table of these lines for the device's link::Line, with this as the
    // owner its handlers are called with.
    link::UnsolicitedTable Table() noexcept;
};

}  // namespace vantor
