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

// The notice shown instead of a body that is not text (8-bit data, compressed
// or reserved codings), in GBK.
extern const char kNonTextNotice[];

}  // namespace vantor::sms
