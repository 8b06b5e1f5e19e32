// SMS-DELIVER listing entries (3GPP TS 23.040 9.2.2.1) into display texts.
#pragma once

#include <cstddef>

namespace vantor::sms {

inline constexpr int kDisplaySize = 256;  // display text: at most 255 bytes + NUL

// Decodes one "+CMGL: " entry (header line, CR LF, PDU line) of `length` bytes
// into the display text `out` (GBK, NUL-terminated, cut at 255 bytes on a
// character boundary). Never reads beyond entry[length - 1].
void DecodePduEntry(const char* entry, std::size_t length, char out[kDisplaySize]) noexcept;

}  // namespace vantor::sms
