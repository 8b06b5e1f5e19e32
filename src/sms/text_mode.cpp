#include "sms/text_mode.h"

#include <cstdio>

#include "os/os.h"
#include "sms/gsm_alphabet.h"

namespace vantor::sms {
namespace {

// A GSM code the modem takes as the ASCII byte of the same value: a printable
// character that means the same in both alphabets. The backslash starts the
// escape form, so it never stands for itself.
bool TypedAsItself(std::uint8_t code) noexcept {
    if (code < 0x20 || code > 0x7E || code == '\\') return false;
    return GsmToUnicode(code) == static_cast<char16_t>(code);
}

bool Put(TextModeBody* out, std::uint8_t code) noexcept {
    if (TypedAsItself(code)) {
        if (out->length + 1 > 3 * kTextModeSeptets) return false;
        out->line[out->length++] = static_cast<char>(code);
        return true;
    }
    if (out->length + 3 > 3 * kTextModeSeptets) return false;
    std::snprintf(out->line + out->length, 4, "\\%02X", static_cast<unsigned>(code));
    out->length += 3;
    return true;
}

}  // namespace

bool EncodeTextModeBody(const char* gbk, int n, TextModeBody* out) noexcept {
    *out = TextModeBody{};
    char16_t units[kTextModeSeptets * 2 + 2];
    const int count = n > 0 ? os::MultiByteToWideChar(gbk, n, units, sizeof units / sizeof units[0]) : 0;
    if (n > 0 && count <= 0) return false;  // longer than any one message, or not text
    for (int i = 0; i < count; ++i) {
        std::uint8_t codes[2];
        const int k = UnicodeToGsm(units[i], codes);
        if (k == 0) {
            out->missing = units[i];
            return false;
        }
        if (out->septets + k > kTextModeSeptets) return false;
        for (int j = 0; j < k; ++j)
            if (!Put(out, codes[j])) return false;
        out->septets += k;
    }
    out->line[out->length] = '\0';
    return true;
}

}  // namespace vantor::sms
