// The ANSI code page of the shipped machines, CP936 (GBK). The two mapping
// tables are built once through iconv; after that a conversion is a table walk
// with no allocation, as fast as the Windows converter it stands in for.
#include <iconv.h>

#include <array>
#include <cstring>
#include <memory>

#include "os/os.h"

namespace os {
namespace {

// What Windows gives for bytes that are no GBK character (MultiByteToWideChar
// without MB_ERR_INVALID_CHARS) and for characters code page 936 lacks.
constexpr char16_t kInvalidMultiByte = u'\u30FB';
constexpr char kDefaultChar = '?';

bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

struct Cp936Tables {
    // (lead << 8 | trail) -> UTF-16 unit, 0 when the pair is no character.
    std::array<char16_t, 65536> toWide{};
    // UTF-16 unit -> GBK: 0x00..0xFF a single byte, above a lead/trail pair,
    // 0 when code page 936 lacks the character (U+0000 itself is handled apart).
    std::array<std::uint16_t, 65536> fromWide{};

    Cp936Tables() {
        for (unsigned b = 0; b < 0x80; ++b) {
            toWide[b] = static_cast<char16_t>(b);
            fromWide[b] = static_cast<std::uint16_t>(b);
        }
        // Windows' code page 936 has the euro sign as the single byte 0x80.
        toWide[0x80] = u'\u20AC';
        fromWide[0x20AC] = 0x80;
        iconv_t cd = iconv_open("UTF-16LE", "GBK");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F) continue;
                char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                char16_t out[2] = {};
                char* inPtr = in;
                auto* outPtr = reinterpret_cast<char*>(out);
                std::size_t inLeft = 2;
                std::size_t outLeft = sizeof out;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) continue;
                if (sizeof out - outLeft != 2) continue;  // not a single BMP unit
                const std::uint16_t code = static_cast<std::uint16_t>(lead << 8 | trail);
                toWide[code] = out[0];
                if (fromWide[out[0]] == 0) fromWide[out[0]] = code;
            }
        }
        iconv_close(cd);
    }
};

const Cp936Tables& Tables() {
    static const auto tables = std::make_unique<Cp936Tables>();
    return *tables;
}

}  // namespace

int MultiByteToWideChar(const char* text, int length, char16_t* wide, int wideSize) {
    if (text == nullptr || wideSize < 0) return 0;
    const auto& t = Tables();
    const std::size_t n = length < 0 ? std::strlen(text) + 1 : static_cast<std::size_t>(length);
    std::size_t units = 0;
    for (std::size_t i = 0; i < n; ++units) {
        const auto b = static_cast<unsigned char>(text[i]);
        char16_t unit;
        if (IsLeadByte(b) && i + 1 < n) {
            const auto trail = static_cast<unsigned char>(text[i + 1]);
            unit = t.toWide[b << 8 | trail];
            if (unit == 0) unit = kInvalidMultiByte;
            i += 2;
        } else {
            unit = b < 0x81 ? t.toWide[b] : kInvalidMultiByte;
            ++i;
        }
        if (wideSize == 0) continue;
        if (wide == nullptr || units >= static_cast<std::size_t>(wideSize)) return 0;
        wide[units] = unit;
    }
    return static_cast<int>(units);
}

int WideCharToMultiByte(const char16_t* wide, int length, char* text, int textSize,
                        bool* usedDefault) {
    if (wide == nullptr || textSize < 0) return 0;
    const auto& t = Tables();
    std::size_t n = 0;
    if (length < 0) {
        while (wide[n] != 0) ++n;
        ++n;
    } else {
        n = static_cast<std::size_t>(length);
    }
    bool defaulted = false;
    std::size_t bytes = 0;
    auto put = [&](char c) {
        if (textSize != 0 && text != nullptr && bytes < static_cast<std::size_t>(textSize))
            text[bytes] = c;
        ++bytes;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint16_t code = wide[i] == 0 ? 0 : t.fromWide[wide[i]];
        if (wide[i] != 0 && code == 0) {
            put(kDefaultChar);
            defaulted = true;
        } else if (code > 0xFF) {
            put(static_cast<char>(code >> 8));
            put(static_cast<char>(code & 0xFF));
        } else {
            put(static_cast<char>(code));
        }
    }
    if (usedDefault != nullptr) *usedDefault = defaulted;
    if (textSize != 0 && (text == nullptr || bytes > static_cast<std::size_t>(textSize))) return 0;
    return static_cast<int>(bytes);
}

}  // namespace os
