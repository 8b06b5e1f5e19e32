#include "device/modem_reports.h"

#include <cstring>

#include "diag/trace.h"
#include "link/owed_answers.h"

namespace vantor {
namespace {

void StartedUp(void* owner, link::Line& line, const char*, std::size_t) noexcept {
    auto* reports = static_cast<ModemReports*>(owner);
    reports->restartSeen = true;
    ++reports->restarts;
    reports->pduAwaited = false;
    reports->ackOwed = false;  // a restarted modem awaits no acknowledgement
    link::Forgive(line);  // a restarted modem answers nothing it heard before
}

// "^SMGO: <mode>": traced with what to do.
void StoreOverflow(void*, link::Line&, const char* text, std::size_t length) noexcept {
    if (length != sizeof "^SMGO: 0" - 1) return;
    switch (text[length - 1]) {
        case '0': Trace("^SMGO: 0: the SIM's message store has room again\n"); break;
        case '1':
            Trace("^SMGO: 1: the SIM's message store is full: new messages wait at the service "
                  "centre until read ones are deleted (CMGD)\n");
            break;
        case '2':
            Trace("^SMGO: 2: the SIM's message store is full and a new message is waiting at "
                  "the service centre: delete read messages (CMGD)\n");
            break;
        default: break;
    }
}

void Keep(ModemReports& r, bool read, const sms::StatusReport& report) noexcept {
    if (!read) {
        ++r.unreadable;
        Trace("+CDS not read as a status report\n");
        return;
    }
    if (r.waitingCount == ModemReports::kMostWaiting) {
        ++r.unreadable;
        return;
    }
    r.waiting[r.waitingCount++] = report;
}

// "+CDS: <length>" (PDU mode: the PDU line follows) or the whole text-mode
// report "+CDS: <fo>,<mr>,...". Either way the modem now awaits AT+CNMA.
void StatusReportLine(void* owner, link::Line&, const char* text, std::size_t length) noexcept {
    auto& r = *static_cast<ModemReports*>(owner);
    r.ackOwed = true;
    const char* fields = text + 5;
    const char* end = text + length;
    if (std::memchr(fields, ',', static_cast<std::size_t>(end - fields)) == nullptr) {
        r.pduAwaited = true;
        return;
    }
    sms::StatusReport report;
    Keep(r, sms::ReadTextStatusReport(fields, end, &report), report);
}

// Any other line: the PDU of a "+CDS: <length>" just read.
void AnyLine(void* owner, link::Line&, const char* text, std::size_t length) noexcept {
    auto& r = *static_cast<ModemReports*>(owner);
    if (!r.pduAwaited || length == 0) return;
    r.pduAwaited = false;
    sms::StatusReport report;
    Keep(r, sms::ParseStatusReport(text, length, &report) == sms::StatusReportRead::kWhole, report);
}

// The first row a line matches takes it: the last row takes every line.
constexpr link::UnsolicitedRow kReports[] = {
    {"^SYSSTART", false, StartedUp},
    {"^SMGO:", true, StoreOverflow},
    {"+CDS:", true, StatusReportLine},
    {"", true, AnyLine},
};

}  // namespace

link::UnsolicitedTable ModemReports::Table() noexcept {
    return {kReports, sizeof kReports / sizeof kReports[0], this};
}

}  // namespace vantor
