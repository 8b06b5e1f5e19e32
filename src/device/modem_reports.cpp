#include "device/modem_reports.h"

#include "diag/trace.h"
#include "link/owed_answers.h"

namespace vantor {
namespace {

void StartedUp(void* owner, link::Line& line, const char*, std::size_t) noexcept {
    static_cast<ModemReports*>(owner)->restartSeen = true;
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

constexpr link::UnsolicitedRow kReports[] = {
    {"^SYSSTART", false, StartedUp},
    {"^SMGO:", true, StoreOverflow},
};

}  // namespace

link::UnsolicitedTable ModemReports::Table() noexcept {
    return {kReports, sizeof kReports / sizeof kReports[0], this};
}

}  // namespace vantor
