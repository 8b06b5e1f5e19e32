// The ANSI code page of the shipped machines, CP936 (GBK), through iconv.
#include <iconv.h>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <vector>

#include "os/os.h"

namespace os {

int MultiByteToWideChar(const char* text, int length, char16_t* wide, int wideSize) {
    if (text == nullptr) return 0;
    const std::size_t n = length < 0 ? std::strlen(text) + 1 : static_cast<std::size_t>(length);
    static const iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    std::vector<char16_t> result;
    std::size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t charLen = (b >= 0x81 && b <= 0xFE && i + 1 < n) ? 2 : 1;
        char16_t units[4];
        auto* inPtr = const_cast<char*>(text + i);
        std::size_t inLeft = charLen;
        auto* outPtr = reinterpret_cast<char*>(units);
        std::size_t outLeft = sizeof units;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const std::size_t produced = (sizeof units - outLeft) / 2;
        if (r == static_cast<std::size_t>(-1) || produced == 0) {
            if (b == 0) result.push_back(0);
            else result.push_back(b < 0x80 ? b : u'\u30FB');  // Windows maps invalid bytes to U+30FB in 936
            i += (charLen == 2 && b >= 0x80) ? 2 : 1;
            continue;
        }
        for (std::size_t k = 0; k < produced; ++k) result.push_back(units[k]);
        i += charLen;
    }
    if (wideSize == 0) return static_cast<int>(result.size());
    if (wide == nullptr || static_cast<std::size_t>(wideSize) < result.size()) return 0;
    std::memcpy(wide, result.data(), result.size() * sizeof(char16_t));
    return static_cast<int>(result.size());
}

int WideCharToMultiByte(const char16_t* wide, int length, char* text, int textSize,
                        bool* usedDefault) {
    if (wide == nullptr) return 0;
    std::size_t n = 0;
    if (length < 0) {
        while (wide[n] != 0) ++n;
        ++n;
    } else {
        n = static_cast<std::size_t>(length);
    }
    static const iconv_t cd = iconv_open("CP936", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    std::vector<char> result;
    bool defaulted = false;
    for (std::size_t i = 0; i < n; ++i) {
        char out[8];
        auto* inPtr = reinterpret_cast<char*>(const_cast<char16_t*>(wide + i));
        std::size_t inLeft = 2;
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const std::size_t produced = sizeof out - outLeft;
        if (r == static_cast<std::size_t>(-1) || (produced == 0 && wide[i] != 0)) {
            result.push_back('?');  // the default character of code page 936
            defaulted = true;
            continue;
        }
        if (wide[i] == 0) {
            result.push_back('\0');
            continue;
        }
        result.insert(result.end(), out, out + produced);
    }
    if (usedDefault) *usedDefault = defaulted;
    if (textSize == 0) return static_cast<int>(result.size());
    if (text == nullptr || static_cast<std::size_t>(textSize) < result.size()) return 0;
    std::memcpy(text, result.data(), result.size());
    return static_cast<int>(result.size());
}

}  // namespace os
