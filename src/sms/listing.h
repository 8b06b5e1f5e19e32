// Listing answers (AT+CMGL) into pairs of message stores.
#pragma once

#include "device/gsm_modem.h"

namespace vantor::sms {

// PDU mode. `answer` is NUL-terminated (at most 8191 bytes) and may be changed
// in place. With no entry: emptyWhenNone clears the pair, otherwise it stays.
void ParsePduListing(char* answer, Slot* header, Slot* text, int slots, bool emptyWhenNone) noexcept;

// Text mode. Slots from the last entry found to the end are emptied.
void ParseTextListing(const char* answer, Slot* header, Slot* text, int slots) noexcept;

}  // namespace vantor::sms
