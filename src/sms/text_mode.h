// A text-mode message body as the modem takes it with its default character
// set (AT+CSCS="GSM", TC35 manual 1.5 and 4.40): GSM 03.38 codes, not ASCII
// and not the ANSI code page.
#pragma once

#include <cstddef>

namespace vantor::sms {

// The most a text-mode body can carry: one message of 160 septets.
inline constexpr int kTextModeSeptets = 160;
// Line bytes of the longest body: every septet as a three-byte escape.
// (and room for the Ctrl-Z and CR that end the input).
inline constexpr int kTextModeLineSize = 3 * kTextModeSeptets + 3;

struct TextModeBody {
    int length = 0;          // bytes in line[]
    int septets = 0;         // GSM septets the message takes
    char16_t missing = 0;    // the first character the GSM alphabet lacks, or 0
    char line[kTextModeLineSize];
};

// Converts the body `gbk` (`n` bytes, ANSI code page) into what is typed
// after the "> " prompt: each character as its GSM code, a character of the
// extension table as ESC and its code. A code that differs from the ASCII
// byte of the same value, or that is a control byte, is written in the
// manual's escape form: a backslash and two hex digits ("\00" for '@').
// False when a character has no GSM code (`missing` names it) or the body
// takes more than 160 septets; nothing is then to be written.
bool EncodeTextModeBody(const char* gbk, int n, TextModeBody* out) noexcept;

}  // namespace vantor::sms
