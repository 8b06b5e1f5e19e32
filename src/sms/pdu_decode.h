// SMS-DELIVER listing entries (3GPP TS 23.040 9.2.2.1) into display texts.
#pragma once

#include <cstddef>

namespace vantor::sms {

inline constexpr int kDisplaySize = 256;  // display text: at most 255 bytes + NUL

// Decodes one "+CMGL: " entry (header line, line break, PDU line) of `length`
// bytes into the display text `out` (ANSI code page, NUL-terminated, cut at 255
// bytes on a character boundary). Never reads beyond entry[length - 1].
//
// A part of a concatenated message (TS 23.040 9.2.3.24.1, .8) shows its place
// at the end of the header part: "...的消息(2/3)@text".
//
// Returns the offset in `out` of the '@' that ends the header part, or -1 when
// the text has no body part (no entry, the non-text notice, a PDU cut off
// before its user data). The offset is returned because an alphanumeric
// sender may itself hold an '@'.
int DecodePduEntry(const char* entry, std::size_t length, char out[kDisplaySize]) noexcept;

// A text-mode listing body (3GPP TS 27.005 3.1 <data>) of `length` bytes into
// the display text `out`, as a PDU body of the same coding would show. With
// the modem's GSM character set a text body comes as GSM 03.38 codes, ESC
// opening the extension table (`@` is 0x00). A body of 8-bit or UCS-2 data
// comes as hex digits, two per octet: `octets` (the header's <length>, -1
// when unknown) tells it from text, since text is never exactly two bytes a
// counted unit. Data shows as text when it reads as UTF-16, else as the
// non-text notice.
void DisplayTextModeBody(const char* body, std::size_t length, int octets,
                         char out[kDisplaySize]) noexcept;

// The notice shown instead of a body that is not text (8-bit data, compressed
// or reserved codings), in GBK.
extern const char kNonTextNotice[];

}  // namespace vantor::sms
