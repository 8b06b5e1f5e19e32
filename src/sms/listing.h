// The slots of the message stores that listings (AT+CMGL) fill.
#pragma once

namespace vantor {

// One message store slot: a text of at most 255 bytes and its NUL. The device
// keeps its listed messages in arrays of these; the parsers fill them.
inline constexpr int kSlotSize = 256;
using Slot = char[kSlotSize];

namespace sms {
// The message format a listing comes in (AT+CMGF).
enum class ListingFormat { kPdu, kText };
}  // namespace sms

}  // namespace vantor
