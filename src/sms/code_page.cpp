// Message characters into the ANSI code page through the os seam.
#include "sms/code_page.h"

#include <cstring>

#include "os/os.h"

namespace vantor::sms {

namespace {

CodePageChar ToCodePage(char16_t c) noexcept {
    CodePageChar a{1, {'?', 0}};
    char buffer[8];
    const int n = os::WideCharToMultiByte(&c, 1, buffer, sizeof buffer, nullptr);
    if (n == 1 || n == 2) {
        a.length = static_cast<std::uint8_t>(n);
        std::memcpy(a.bytes, buffer, static_cast<std::size_t>(n));
    }
    return a;
}

// UTF-16 code units that a text can hold: no unpaired surrogate, no
// non-character, no control other than the line breaks and the tab.
bool ReadsAsText(const char16_t* units, int n) noexcept {
    for (int i = 0; i < n; ++i) {
        const char16_t u = units[i];
        if (u < 0x20 && u != '\r' && u != '\n' && u != '\t') return false;
        if (u == 0xFFFE || u == 0xFFFF) return false;
        if (u >= 0xD800 && u < 0xDC00) {
            if (i + 1 >= n || units[i + 1] < 0xDC00 || units[i + 1] >= 0xE000) return false;
            ++i;
        } else if (u >= 0xDC00 && u < 0xE000) {
            return false;
        }
    }
    return true;
}

char16_t Unit(const std::uint8_t* octets) noexcept {
    return static_cast<char16_t>(octets[0] << 8 | octets[1]);
}

}  // namespace

const GsmCodePage& GsmCodePageTables() noexcept {
    static const GsmCodePage tables = [] {
        GsmCodePage t{};
        for (std::uint8_t s = 0; s < 128; ++s) t.base[s] = ToCodePage(GsmToUnicode(s));
        for (std::uint8_t s = 0; s < 128; ++s) {
            const char16_t e = GsmExtensionToUnicode(s);
            t.extension[s] = e != 0 ? ToCodePage(e) : t.base[s];
        }
        return t;
    }();
    return tables;
}

int Ucs2ToCodePage(const std::uint8_t* octets, std::size_t n, char* out, int size) noexcept {
    char16_t units[kMaxUcs2Units];
    int count = 0;
    for (std::size_t k = 0; k + 1 < n && count < kMaxUcs2Units; k += 2) {
        const char16_t u = Unit(octets + k);
        if (u != 0) units[count++] = u;
    }
    if (count == 0) return 0;
    const int bytes = os::WideCharToMultiByte(units, count, out, size, nullptr);
    return bytes > 0 ? bytes : 0;
}

int Utf16TextToCodePage(const std::uint8_t* octets, std::size_t n, bool strict, char* out,
                        int size) noexcept {
    if (n == 0 || n % 2 != 0 || n / 2 > kMaxUtf16Units) return -1;
    char16_t units[kMaxUtf16Units];
    const int count = static_cast<int>(n / 2);
    for (int i = 0; i < count; ++i) units[i] = Unit(octets + 2 * i);
    if (!ReadsAsText(units, count)) return -1;
    bool missing = false;
    const int bytes = os::WideCharToMultiByte(units, count, out, size, &missing);
    if (strict && missing) return -1;
    return bytes > 0 ? bytes : 0;
}

}  // namespace vantor::sms
