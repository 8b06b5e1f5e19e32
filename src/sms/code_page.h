// Message characters into the ANSI code page (GBK on the shipped machines),
// through the os seam: GSM default-alphabet septets (3GPP TS 23.038 6.2.1)
// and UCS-2 / UTF-16 units (TS 23.038 6.2.3).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sms/gsm_alphabet.h"

namespace vantor::sms {

// One character in the code page: one or two bytes.
struct CodePageChar {
    std::uint8_t length;
    char bytes[2];
};

// The code-page form of every septet: `base` for the default table,
// `extension` for the septet after an ESC (TS 23.038 6.2.1.1; a code missing
// from the extension table has the default character of the same code). A
// character the code page lacks is its default character '?'.
struct GsmCodePage {
    CodePageChar base[128];
    CodePageChar extension[128];
};

// Built once, on first use; every septet afterwards is a lookup.
const GsmCodePage& GsmCodePageTables() noexcept;

// Septets to code-page characters, an ESC selecting the extension table for
// the septet after it.
class GsmToCodePage {
public:
    GsmToCodePage() noexcept : t_(GsmCodePageTables()) {}

    // The character `septet` (0..127) stands for, or nullptr for an ESC that
    // waits for the septet it applies to.
    const CodePageChar* Take(std::uint8_t septet) noexcept {
        if (escaped_) {
            escaped_ = false;
            return &t_.extension[septet];
        }
        if (septet == kEscape) {
            escaped_ = true;
            return nullptr;
        }
        return &t_.base[septet];
    }

    // True when the last septet taken was an ESC still waiting.
    bool Escaped() const noexcept { return escaped_; }

    // What an ESC with no septet after it shows: a blank (GsmToUnicode).
    const CodePageChar& LoneEscape() const noexcept { return t_.base[kEscape]; }

private:
    const GsmCodePage& t_;
    bool escaped_ = false;
};

// The most UCS-2 units one user data holds: TP-UDL is at most 255 octets.
inline constexpr int kMaxUcs2Units = 127;

// UCS-2 user data (big-endian units; an odd last octet is no unit) into the
// code page, in one conversion. Units of value 0 are left out: NUL is no
// character. At most kMaxUcs2Units units are read. Returns the bytes
// written to `out` (0 when there are none); `size` of 4 * kMaxUcs2Units
// always suffices.
int Ucs2ToCodePage(const std::uint8_t* octets, std::size_t n, char* out, int size) noexcept;

// The most units of data shown as UTF-16 text: one message of 140 octets.
inline constexpr int kMaxUtf16Units = 70;

// Octets that are to show as UTF-16 text when they can be text: an even
// count of 2..2 * kMaxUtf16Units octets (big-endian units) with no unpaired
// surrogate, no non-character (U+FFFE, U+FFFF) and no control other than CR,
// LF and tab. With `strict`, also every character must be in the code page.
// Returns the bytes written to `out` (0 for a text the code page shows as
// nothing), or -1 when the octets are not such text; `size` of
// 4 * kMaxUtf16Units always suffices.
int Utf16TextToCodePage(const std::uint8_t* octets, std::size_t n, bool strict, char* out,
                        int size) noexcept;

}  // namespace vantor::sms
