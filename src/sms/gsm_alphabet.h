// The GSM 7-bit default alphabet and its extension table (3GPP TS 23.038 6.2.1).
#pragma once

#include <cstdint>

namespace vantor::sms {

inline constexpr std::uint8_t kEscape = 0x1B;  // escape to the extension table

// Unicode of a default-alphabet septet (0..127; the top bit is ignored). ESC on
// its own maps to a blank: TS 23.038 asks a receiver to show a space for an
// escape it cannot resolve.
char16_t GsmToUnicode(std::uint8_t septet) noexcept;

// Unicode of the extension character after ESC, or 0 when the code is not in
// the extension table (the receiver then shows the default-alphabet character).
char16_t GsmExtensionToUnicode(std::uint8_t septet) noexcept;

// Septets for one Unicode character: 1 (out[0]), 2 (ESC, out[1]) or 0 when the
// character has no GSM mapping.
int UnicodeToGsm(char16_t c, std::uint8_t out[2]) noexcept;

}  // namespace vantor::sms
