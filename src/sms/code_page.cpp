// Message characters into the ANSI code page through the os seam.
#include "sms/code_page.h"

#include "os/os.h"

namespace vantor::sms {

bool ReadsAsUtf16Text(const char16_t* units, int n) noexcept {
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

bool CodePageHas(const char16_t* units, int n) noexcept {
    if (n <= 0) return true;
    char out[3 * kMaxUtf16Units];
    bool missing = false;
    // Text longer than one message's units is checked in pieces; a piece
    // never ends between the halves of a surrogate pair.
    for (int from = 0; from < n && !missing;) {
        int count = n - from < kMaxUtf16Units ? n - from : kMaxUtf16Units;
        if (from + count < n && units[from + count - 1] >= 0xD800 && units[from + count - 1] < 0xDC00)
            --count;
        os::WideCharToMultiByte(units + from, count, out, sizeof out, &missing);
        from += count;
    }
    return !missing;
}

int ToCodePage(const char16_t* units, int n, char* out, int size) noexcept {
    if (n <= 0) return 0;
    const int bytes = os::WideCharToMultiByte(units, n, out, size, nullptr);
    return bytes > 0 ? bytes : 0;
}

}  // namespace vantor::sms
