// GSM 7-bit default alphabet tables, TS 23.038 clause 6.2.1 (default table)
// and 6.2.1.1 (extension table reached through ESC).
#include "sms/gsm_alphabet.h"

#include <array>

namespace vantor::sms {

namespace {

constexpr std::array<char16_t, 128> kDefault = {
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

struct Extension {
    std::uint8_t septet;
    char16_t unicode;
};
constexpr std::array<Extension, 10> kExtension = {{
    {0x0A, u'\f'}, {0x14, u'^'}, {0x28, u'{'}, {0x29, u'}'}, {0x2F, u'\\'},
    {0x3C, u'['}, {0x3D, u'~'}, {0x3E, u']'}, {0x40, u'|'}, {0x65, u'\u20AC'},
}};

constexpr std::array<char16_t, 128> MakeExtensionTable() {
    std::array<char16_t, 128> t{};
    for (const auto& e : kExtension) t[e.septet] = e.unicode;
    return t;
}
constexpr auto kExtensionTable = MakeExtensionTable();

// Reverse lookup for U+0000..U+00FF: 0xFF = no mapping, 0x80 | code = extension.
constexpr std::array<std::uint8_t, 256> MakeLatinTable() {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t) v = 0xFF;
    for (std::uint8_t s = 0; s < 128; ++s)
        if (s != kEscape && kDefault[s] < 0x100) t[kDefault[s]] = s;
    for (const auto& e : kExtension)
        if (e.unicode < 0x100) t[e.unicode] = static_cast<std::uint8_t>(0x80 | e.septet);
    return t;
}
constexpr auto kLatin = MakeLatinTable();

}  // namespace

char16_t GsmToUnicode(std::uint8_t septet) noexcept { return kDefault[septet & 0x7F]; }

char16_t GsmExtensionToUnicode(std::uint8_t septet) noexcept {
    return kExtensionTable[septet & 0x7F];
}

int UnicodeToGsm(char16_t c, std::uint8_t out[2]) noexcept {
    std::uint8_t v = 0xFF;
    if (c < 0x100) {
        v = kLatin[c];
    } else if (c == u'\u20AC') {
        v = 0x80 | 0x65;
    } else if (c >= 0x393 && c <= 0x3A9) {
        // The Greek capitals of the default table.
        for (std::uint8_t s = 0x10; s <= 0x1A; ++s)
            if (kDefault[s] == c) v = s;
    }
    if (v == 0xFF) return 0;
    if (v & 0x80) {
        out[0] = kEscape;
        out[1] = v & 0x7F;
        return 2;
    }
    out[0] = v;
    return 1;
}

}  // namespace vantor::sms
