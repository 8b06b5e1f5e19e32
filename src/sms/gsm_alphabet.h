// The GSM 7-bit default alphabet and its extension table (3GPP TS 23.038 6.2.1).
#pragma once

#include <cstddef>
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
