// GSM 7-bit default alphabet tables, TS 23.038 clause 6.2.1 (default table)
// and 6.2.1.1 (extension table reached through ESC).
#include "sms/gsm_alphabet.h"

#include <array>

namespace vantor::sms {

namespace {


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
        if (s != kEscape && kGsmDefault[s] < 0x100) t[kGsmDefault[s]] = s;
    for (const auto& e : kExtension)
        if (e.unicode < 0x100) t[e.unicode] = static_cast<std::uint8_t>(0x80 | e.septet);
    return t;
}
constexpr auto kLatin = MakeLatinTable();

}  // namespace

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
            if (kGsmDefault[s] == c) v = s;
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
