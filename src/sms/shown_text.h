// The host's display texts of a received message (sms/received.h), in the
// ANSI code page, made where the message stores are filled: a header text
// and a body text of at most 255 bytes each, cut on a character boundary.
//
// PDU mode: "<index>" 时间戳 来自:<sender>的消息, with the place of a part
// of a long message at its end ("...的消息(2/3)"), then the body.
// Text mode: "<index> yy/MM/dd,hh:mm:ss Message From <sender>", the body.
#pragma once

#include <cstddef>

#include "sms/listing.h"
#include "sms/received.h"

namespace vantor::sms {

inline constexpr int kDisplaySize = 256;  // display text: at most 255 bytes + NUL

// The header and body texts of `r` as a listing in `format` shows them.
void ShowReceived(const Received& r, ListingFormat format, Slot& header, Slot& body) noexcept;

// A listing's pair of stores: slot i shows records[i] for i below `entries`,
// the other slots of the `slots` are emptied.
void ShowListing(const Received* records, int entries, ListingFormat format, Slot* header, Slot* text,
                 int slots) noexcept;

// A whole AT+CMGL answer of `length` bytes into a pair of at most 20 slots,
// for a caller that has the answer in one piece (the driver reads its
// listings as they arrive, through sms/listing_reader.h, and shows them
// with ShowListing). In PDU mode a listing without an entry leaves the pair
// as it was unless `emptyWhenNone`.
inline constexpr int kMostListedSlots = 20;
void ParsePduListing(const char* answer, std::size_t length, Slot* header, Slot* text, int slots,
                     bool emptyWhenNone) noexcept;
void ParseTextListing(const char* answer, std::size_t length, Slot* header, Slot* text,
                      int slots) noexcept;

// Decodes one "+CMGL: " entry (header line, line break, PDU line) of `length`
// bytes into one display text `out`: the header, '@', the body. Never reads
// beyond entry[length - 1]. Returns the offset in `out` of the '@' that ends
// the header part, or -1 when the text has no body part (no entry, the
// non-text notice, a PDU cut off before its user data). The offset is
// returned because an alphanumeric sender may itself hold an '@'.
int DecodePduEntry(const char* entry, std::size_t length, char out[kDisplaySize]) noexcept;

}  // namespace vantor::sms
