// The pieces of a text-mode header line: a listing entry's (3GPP TS 27.005
// 3.4.2) or a status report's (+CDS, TS 27.005 3.4.1).
#pragma once

#include <cstddef>
#include <cstring>

#include "sms/listing.h"
#include "sms/tpdu.h"

namespace vantor::sms {

inline constexpr int kMaxField = 30;  // sender and time stamp texts in text mode
// One field of a text-mode header line: quoted or bare, ended by a comma
// outside quotes or by the end of the line.
struct Field {
    const char* text = nullptr;
    std::size_t length = 0;
    bool quoted = false;
};

// Splits the header line [p, end) after the marker into fields. Returns the
// number of fields found (at most `max`).
inline int SplitFields(const char* p, const char* end, Field* fields, int max) noexcept {
    int n = 0;
    while (p < end && *p == ' ') ++p;
    while (n < max) {
        Field& f = fields[n++];
        while (p < end && *p == ' ') ++p;
        if (p < end && *p == '"') {
            const char* close = static_cast<const char*>(std::memchr(p + 1, '"', end - p - 1));
            if (close == nullptr) close = end;  // an unterminated quote runs to the line end
            f.text = p + 1;
            f.length = static_cast<std::size_t>(close - p - 1);
            f.quoted = true;
            p = close < end ? close + 1 : end;
            while (p < end && *p != ',') ++p;
        } else {
            f.text = p;
            while (p < end && *p != ',') ++p;
            f.length = static_cast<std::size_t>(p - f.text);
        }
        if (p >= end) break;
        ++p;  // past the comma
    }
    return n;
}

inline bool ParseIndex(const Field& f, int* index) noexcept {
    int v = 0;
    std::size_t k = 0;
    for (; k < f.length && f.text[k] >= '0' && f.text[k] <= '9'; ++k) {
        if (v > 99999) return false;
        v = v * 10 + (f.text[k] - '0');
    }
    if (k == 0) return false;
    *index = v;
    return true;
}

// "yy/MM/dd,hh:mm:ss" without the signed time zone that ends the field.
inline std::size_t TimeStampLength(const Field& f) noexcept {
    const char* comma = static_cast<const char*>(std::memchr(f.text, ',', f.length));
    std::size_t k = comma ? static_cast<std::size_t>(comma - f.text) : 0;
    while (k < f.length && f.text[k] != '+' && f.text[k] != '-') ++k;
    return k;
}

// "yy/MM/dd,hh:mm:ss±zz": the digits of its six parts as far as they are
// there, two each, and the zone in quarters of an hour.
inline void ReadTextStamp(const Field& f, TimeStamp& t) noexcept {
    const std::size_t length = TimeStampLength(f);
    int digits = 0;
    for (std::size_t k = 0; k < length && digits < 12; ++k)
        if (f.text[k] >= '0' && f.text[k] <= '9') t.digits[digits++] = f.text[k];
    t.octets = digits / 2;
    if (length + 1 >= f.length) return;
    int quarters = 0;
    std::size_t k = length + 1;
    for (; k < f.length && f.text[k] >= '0' && f.text[k] <= '9' && quarters < 1000; ++k)
        quarters = quarters * 10 + (f.text[k] - '0');
    if (k == length + 1) return;
    t.hasZone = true;
    t.zone = f.text[length] == '-' ? -quarters : quarters;
}

}  // namespace vantor::sms
