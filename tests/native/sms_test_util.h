// Helpers for the SMS codec tests: GBK <-> UTF-8 through the code page seam,
// entries of a PDU listing, and running the decoder on an exact-size copy so
// the address sanitizer sees any read past the entry.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "os/os.h"
#include "sms/shown_text.h"

namespace vantor::test {

inline std::string Utf16ToUtf8(const std::u16string& w) {
    std::string out;
    for (std::size_t i = 0; i < w.size(); ++i) {
        char32_t c = w[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size()) c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline std::u16string Utf8ToUtf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        char32_t c;
        int n;
        if (b < 0x80) { c = b; n = 1; }
        else if (b < 0xE0) { c = b & 0x1F; n = 2; }
        else if (b < 0xF0) { c = b & 0x0F; n = 3; }
        else { c = b & 0x07; n = 4; }
        for (int k = 1; k < n && i + k < s.size(); ++k) c = (c << 6) | (s[i + k] & 0x3F);
        i += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

// GBK bytes to UTF-8, for readable comparisons.
inline std::string Utf8(const std::string& gbk) {
    if (gbk.empty()) return {};
    std::vector<char16_t> w(gbk.size() + 1);
    const int n = os::MultiByteToWideChar(gbk.data(), static_cast<int>(gbk.size()), w.data(),
                                          static_cast<int>(w.size()));
    return Utf16ToUtf8(std::u16string(w.data(), static_cast<std::size_t>(n)));
}

// UTF-8 to GBK; characters GBK lacks become '?'.
inline std::string Gbk(const std::string& utf8) {
    const std::u16string w = Utf8ToUtf16(utf8);
    if (w.empty()) return {};
    std::vector<char> out(w.size() * 2 + 1);
    const int n = os::WideCharToMultiByte(w.data(), static_cast<int>(w.size()), out.data(),
                                          static_cast<int>(out.size()), nullptr);
    return std::string(out.data(), static_cast<std::size_t>(n));
}

struct Decoded {
    std::string text;  // the display text, GBK
    int separator;     // DecodePduEntry's result
    std::string Header() const { return separator < 0 ? text : text.substr(0, separator); }
    std::string Body() const { return separator < 0 ? "" : text.substr(separator + 1); }
};

// Decodes `entry` from a heap copy of exactly its length (no terminator).
inline Decoded DecodeEntry(const std::string& entry) {
    std::vector<char> exact(entry.begin(), entry.end());
    char out[sms::kDisplaySize];
    std::memset(out, 'Z', sizeof out);
    const int sep = sms::DecodePduEntry(exact.data(), exact.size(), out);
    return Decoded{std::string(out, strnlen(out, sizeof out)), sep};
}

// A GBK body as the two MsgSend texts: the first holds as many whole
// characters as fit 255 bytes, the second the rest.
struct SendTexts {
    std::string part0, part1;
};
inline SendTexts SplitIntoTexts(const std::string& gbk) {
    std::size_t k = 0;
    while (k < gbk.size()) {
        const std::size_t w = static_cast<unsigned char>(gbk[k]) >= 0x81 ? 2 : 1;
        if (k + w > 255) break;
        k += w;
    }
    return {gbk.substr(0, k), gbk.substr(k)};
}

// A listing entry of the modem's PDU form around `pdu`.
inline std::string PduEntry(const std::string& pdu, int index = 1) {
    return "+CMGL: " + std::to_string(index) + ",0,," + std::to_string(pdu.size() / 2) + "\r\n" + pdu;
}

}  // namespace vantor::test
