// Message characters into the ANSI code page (GBK on the shipped machines),
// through the os seam, and the test for UTF-16 that can be a person's text
// (3GPP TS 23.038 6.2.3).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor::sms {

// The most units of data taken as UTF-16 text: one message of 140 octets.
inline constexpr int kMaxUtf16Units = 70;

// UTF-16 code units that a text can hold: no unpaired surrogate, no
// non-character (U+FFFE, U+FFFF) and no control other than CR, LF and tab.
bool ReadsAsUtf16Text(const char16_t* units, int n) noexcept;

// True when the code page has every one of the `n` characters.
bool CodePageHas(const char16_t* units, int n) noexcept;

// `n` UTF-16 units into the code page, in one conversion; a character the
// code page lacks is '?'. Returns the bytes written to `out` (0 when there
// are none); `size` of 3 * n always suffices.
int ToCodePage(const char16_t* units, int n, char* out, int size) noexcept;

}  // namespace vantor::sms
