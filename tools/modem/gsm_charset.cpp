#include "modem/gsm_charset.h"

namespace modem {
namespace {

// TS 23.038 6.2.1: the default alphabet. 0x1B is the escape to the extension
// table; on its own it is shown as a blank.
constexpr char32_t kDefaultAlphabet[128] = {
    U'@',  U'£',  U'$',  U'¥',  U'è',  U'é',  U'ù',  U'ì',  U'ò',  U'Ç', U'\n', U'Ø', U'ø', U'\r', U'Å', U'å',
    U'Δ',  U'_',  U'Φ',  U'Γ',  U'Λ',  U'Ω',  U'Π',  U'Ψ',  U'Σ',  U'Θ', U'Ξ',  U' ', U'Æ', U'æ',  U'ß', U'É',
    U' ',  U'!',  U'"',  U'#',  U'¤',  U'%',  U'&',  U'\'', U'(',  U')', U'*',  U'+', U',', U'-',  U'.', U'/',
    U'0',  U'1',  U'2',  U'3',  U'4',  U'5',  U'6',  U'7',  U'8',  U'9', U':',  U';', U'<', U'=',  U'>', U'?',
    U'¡',  U'A',  U'B',  U'C',  U'D',  U'E',  U'F',  U'G',  U'H',  U'I', U'J',  U'K', U'L', U'M',  U'N', U'O',
    U'P',  U'Q',  U'R',  U'S',  U'T',  U'U',  U'V',  U'W',  U'X',  U'Y', U'Z',  U'Ä', U'Ö', U'Ñ',  U'Ü', U'§',
    U'¿',  U'a',  U'b',  U'c',  U'd',  U'e',  U'f',  U'g',  U'h',  U'i', U'j',  U'k', U'l', U'm',  U'n', U'o',
    U'p',  U'q',  U'r',  U's',  U't',  U'u',  U'v',  U'w',  U'x',  U'y', U'z',  U'ä', U'ö', U'ñ',  U'ü', U'à',
};

// TS 23.038 6.2.1.1: the extension table entries that are defined.
char32_t Extension(std::uint8_t code) {
    switch (code) {
        case 0x0A: return U'\f';
        case 0x14: return U'^';
        case 0x28: return U'{';
        case 0x29: return U'}';
        case 0x2F: return U'\\';
        case 0x3C: return U'[';
        case 0x3D: return U'~';
        case 0x3E: return U']';
        case 0x40: return U'|';
        case 0x65: return U'€';
        default: return 0;
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::u32string GsmToUnicode(const std::vector<std::uint8_t>& septets) {
    std::u32string text;
    for (std::size_t i = 0; i < septets.size(); ++i) {
        std::uint8_t code = septets[i] & 0x7F;
        if (code == 0x1B && i + 1 < septets.size()) {
            std::uint8_t next = septets[++i] & 0x7F;
            char32_t ext = Extension(next);
            text.push_back(ext != 0 ? ext : kDefaultAlphabet[next]);
        } else {
            text.push_back(kDefaultAlphabet[code]);
        }
    }
    return text;
}

std::u32string Ucs2ToUnicode(const std::vector<std::uint8_t>& octets) {
    std::u32string text;
    for (std::size_t i = 0; i + 1 < octets.size(); i += 2) {
        char32_t unit = static_cast<char32_t>(octets[i] << 8 | octets[i + 1]);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < octets.size()) {
            char32_t low = static_cast<char32_t>(octets[i + 2] << 8 | octets[i + 3]);
            if (low >= 0xDC00 && low < 0xE000) {
                text.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        text.push_back(unit);
    }
    return text;
}

std::string ToUtf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string ToUcs2Hex(std::u32string_view text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    auto unit = [&](std::uint32_t u) {
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(u >> shift) & 0xF]);
    };
    for (char32_t c : text) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

bool HexToBytes(std::string_view hex, std::vector<std::uint8_t>* out) {
    if (hex.size() % 2 != 0) return false;
    out->clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexValue(hex[i]);
        int lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return true;
}

std::string BytesToHex(const std::uint8_t* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
    return out;
}

}  // namespace modem
