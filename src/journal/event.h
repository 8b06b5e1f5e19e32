// One journal event as the device reports it: what happened, when, and the
// fields of its line, in UTF-8 as the line is written.
#pragma once

#include <cstdint>

#include "os/os.h"

namespace vantor::journal {

enum class EventKind {
    kSent,       // the modem confirmed the message (every part)
    kRefused,    // an attempt failed before the message went out
    kUnknown,    // the message went out and no verdict came
    kReceived,   // a listing showed a message for the first time
    kDeleted,    // AT+CMGD and the modem's answer
    kLinkLost,   // failed link tests made the driver reopen the port
    kLinkBack,   // the first link test that passed after that
    kRestarted,  // the modem restarted; the settings the host chose restored
    kDelivered,     // a status report: the message reached the phone
    kNotDelivered,  // a status report: the service centre gave up on it
    kStillTrying,   // a status report: the service centre is still trying
    kNotJournaled,  // the journal's own note: lines it could not keep, and why
};

const char* NameOf(EventKind kind) noexcept;

struct Event {
    EventKind kind = EventKind::kSent;
    os::SystemTime time{};
    std::int32_t utcOffsetMinutes = 0;
    char port[32] = {};
    char number[100] = {};      // the recipient, or the sender
    char parts[16] = {};        // "3", or "2/3" for one part
    char references[64] = {};   // message references (+CMGS: <mr>), or the storage index
    char result[96] = {};
    char error[32] = {};        // "+CMS ERROR: 42"
    char meaning[64] = {};      // "congestion"
    char text[2048] = {};       // the message: 640 characters of up to three bytes
};

// The local time and the zone's offset from UTC now.
void StampNow(Event& event) noexcept;

}  // namespace vantor::journal
