// The GSM 7-bit default alphabet and its extension table (3GPP TS 23.038 6.2.1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantor::sms {

inline constexpr std::uint8_t kEscape = 0x1B;  // escape to the extension table

// The default alphabet, septet by septet.
inline constexpr std::array<char16_t, 128> kGsmDefault = {
    u'@', u'\u00A3', u'$', u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC',
    u'\u00F2', u'\u00C7', u'\n', u'\u00D8', u'\u00F8', u'\r', u'\u00C5', u'\u00E5',
    u'\u0394', u'_', u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8',
    u'\u03A3', u'\u0398', u'\u039E', u' ', u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9',
    u' ', u'!', u'"', u'#', u'\u00A4', u'%', u'&', u'\'',
    u'(', u')', u'*', u'+', u',', u'-', u'.', u'/',
    u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7',
    u'8', u'9', u':', u';', u'<', u'=', u'>', u'?',
    u'\u00A1', u'A', u'B', u'C', u'D', u'E', u'F', u'G',
    u'H', u'I', u'J', u'K', u'L', u'M', u'N', u'O',
    u'P', u'Q', u'R', u'S', u'T', u'U', u'V', u'W',
    u'X', u'Y', u'Z', u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7',
    u'\u00BF', u'a', u'b', u'c', u'd', u'e', u'f', u'g',
    u'h', u'i', u'j', u'k', u'l', u'm', u'n', u'o',
    u'p', u'q', u'r', u's', u't', u'u', u'v', u'w',
    u'x', u'y', u'z', u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0',
};

// Unicode of a default-alphabet septet (0..127; the top bit is ignored). ESC on
// its own maps to a blank: TS 23.038 asks a receiver to show a space for an
// escape it cannot resolve.
inline char16_t GsmToUnicode(std::uint8_t septet) noexcept { return kGsmDefault[septet & 0x7F]; }

// Unicode of the extension character after ESC, or 0 when the code is not in
// the extension table (the receiver then shows the default-alphabet character).
char16_t GsmExtensionToUnicode(std::uint8_t septet) noexcept;

// Septets for one Unicode character: 1 (out[0]), 2 (ESC, out[1]) or 0 when the
// character has no GSM mapping.
int UnicodeToGsm(char16_t c, std::uint8_t out[2]) noexcept;

// TS 23.038 6.1.2.1.1: septet i occupies bits 7i..7i+6 of the packed octets,
// least significant bit first. Hands septets `first`..`count - 1` of the
// `n` octets at `octets` to `sink` in order; stops at the first septet the
// octets do not hold whole, or when `sink` returns false.
template <typename Sink>
void UnpackSeptets(const std::uint8_t* octets, std::size_t n, int first, int count, Sink&& sink) {
    for (int i = first; i < count; ++i) {
        const std::size_t bit = 7 * static_cast<std::size_t>(i);
        const std::size_t o = bit / 8;
        const unsigned shift = bit % 8;
        if (o >= n) return;
        unsigned v = octets[o] >> shift;
        if (shift > 1) {
            if (o + 1 >= n) return;
            v |= static_cast<unsigned>(octets[o + 1]) << (8 - shift);
        }
        if (!sink(static_cast<std::uint8_t>(v & 0x7F))) return;
    }
}

}  // namespace vantor::sms
