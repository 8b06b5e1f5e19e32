// Listing entries read into records (sms/received.h): the SMS-DELIVER of a
// PDU-mode entry (3GPP TS 23.040 9.2.2.1) and the header and body of a
// text-mode entry (TS 27.005 3.4.2). Remote input: every function reads
// only the bytes it is given and fills only the record.
#pragma once

#include <cstddef>

#include "sms/received.h"

namespace vantor::sms {

// One "+CMGL: " entry of `length` bytes: the header line, its line break,
// the PDU line. An entry without the marker reads as kNothing.
void ReadPduEntry(const char* entry, std::size_t length, Received* out) noexcept;

// The header line of a text-mode entry after its "+CMGL:" marker: a
// message, index,"stat","oa",[alpha],"scts"[,tooa,length], whose body
// follows on the next line; or a status report, index,"stat",fo,mr,
// ["ra"],[tora],"scts","dt",st, which has none (TS 27.005 3.4.2).
// `bodyLength` gets a message's <length>, -1 without one.
enum class TextHeader { kNone, kMessage, kStatusReport };
TextHeader ReadTextHeader(const char* line, const char* end, Received* out, int* bodyLength) noexcept;

// A text-mode body of `length` bytes (TS 27.005 3.1 <data>) into out->text.
// With the modem's GSM character set a body comes as GSM 03.38 codes, ESC
// opening the extension table. A body of 8-bit or UCS-2 data comes as hex
// digits, two per octet: `octets` (the header's <length>, -1 when unknown)
// tells it from text, since text is never exactly two bytes a counted
// unit. Data reads as text when it reads as UTF-16; else it is nonText.
void ReadTextBody(const char* body, std::size_t length, int octets, Received* out) noexcept;

}  // namespace vantor::sms
