// The NEW and OLD listings: AT+CMGL read as it arrives into records, which
// replace a pair of the device's stores (their display texts made as they
// are filled) only when the modem ended the answer with OK. A refused,
// silent or cut listing leaves what the host saw.
//
// State: the records of the listing being read, until its OK. The stores
// it fills are the registers the caller hands it; the journal hears of
// each message listed.
#pragma once

#include <cstdint>

#include "device/format_keeper.h"
#include "device/registers.h"
#include "journal/recorder.h"
#include "link/serial_port.h"
#include "sms/received.h"

namespace vantor {

class Lister {
public:
    Lister(link::Line& line, journal::Recorder& journal, FormatKeeper& format) noexcept
        : line_(line), journal_(journal), format_(format) {}

    // Which messages, into which pair of stores (`slots` of each), in which
    // format. A PDU-mode listing is the request the host's packet built; a
    // text-mode one has commands of its own.
    struct Listing {
        bool unread = true;
        bool textMode = false;
        const std::uint8_t* request = nullptr;
        std::int32_t length = 0;
        Slot* header = nullptr;
        Slot* text = nullptr;
        int slots = 0;
    };

    // 1 when the modem ended the listing with OK and the stores show it.
    int List(const Listing& listing) noexcept;

private:
    int List(const Listing& listing, bool formatRestored) noexcept;

    link::Line& line_;
    journal::Recorder& journal_;
    FormatKeeper& format_;
    sms::Received listed_[kOldSlots];
};

}  // namespace vantor
