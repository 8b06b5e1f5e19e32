// Listing answers (AT+CMGL) into pairs of message stores.
#pragma once

namespace vantor {

// One message store slot: a text of at most 255 bytes and its NUL. The device
// keeps its listed messages in arrays of these; the parsers fill them.
inline constexpr int kSlotSize = 256;
using Slot = char[kSlotSize];

}  // namespace vantor

namespace vantor::sms {

// PDU mode. `answer` is NUL-terminated (at most 8191 bytes) and may be changed
// in place. With no entry: emptyWhenNone clears the pair, otherwise it stays.
void ParsePduListing(char* answer, Slot* header, Slot* text, int slots, bool emptyWhenNone) noexcept;

// Text mode. Slots from the last entry found to the end are emptied.
void ParseTextListing(const char* answer, Slot* header, Slot* text, int slots) noexcept;

}  // namespace vantor::sms
