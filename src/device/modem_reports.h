// The TC35's own lines, watched for wherever the modem can put them (see
// link/unsolicited.h): its start-up line, and its report of the SIM store's
// overflow (TC35 manual 6.15, ^SMGO: while the store is full, new messages
// wait at the service centre and the plant hears nothing of them).
#pragma once

#include "link/unsolicited.h"
#include "sms/status_report.h"

namespace vantor {

struct ModemReports {
    // The modem said "^SYSSTART" (it restarted and forgot the settings it
    // had not saved) since this was last cleared, and how often it did.
    bool restartSeen = false;
    unsigned restarts = 0;

    // Status reports on messages sent (+CDS, TS 27.005 3.4.1), read wherever
    // they came, until the device journals them; one that does not read as
    // a report is counted. The modem gives no further one until the last is
    // acknowledged (AT+CNMA): `ackOwed`.
    static constexpr int kMostWaiting = 8;
    sms::StatusReport waiting[kMostWaiting];
    int waitingCount = 0;
    int unreadable = 0;
    bool ackOwed = false;
    bool pduAwaited = false;  // "+CDS: <length>" came: its PDU line is next

    // The table of these lines for the device's link::Line, with this as the
    // owner its handlers are called with.
    link::UnsolicitedTable Table() noexcept;
};

}  // namespace vantor
