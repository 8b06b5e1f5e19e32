// Listing answers of AT+CMGL (3GPP TS 27.005 3.4.2 / 4.1) into the header and
// text stores of a message pair.
#include "sms/listing.h"

#include <cstdio>
#include <cstring>

#include "diag/trace.h"
#include "sms/pdu_decode.h"

namespace vantor::sms {

namespace {

constexpr char kMarker[] = "+CMGL:";
constexpr std::size_t kMarkerLength = sizeof kMarker - 1;
constexpr int kMaxField = 30;  // sender and time stamp texts in text mode
constexpr int kMaxText = kSlotSize - 1;

void ClearPair(Slot* header, Slot* text, int from, int slots) noexcept {
    for (int i = from; i < slots; ++i) {
        std::memset(header[i], 0, kSlotSize);
        std::memset(text[i], 0, kSlotSize);
    }
}

// Copies up to 255 bytes, never ending inside a GBK double-byte character.
void CopyText(char* slot, const char* from, std::size_t n) noexcept {
    std::size_t k = 0;
    while (k < n) {
        const std::size_t w =
            (static_cast<unsigned char>(from[k]) >= 0x81 && k + 1 < n) ? 2 : 1;
        if (k + w > static_cast<std::size_t>(kMaxText)) break;
        k += w;
    }
    std::memcpy(slot, from, k);
    slot[k] = '\0';
}

// One field of a text-mode header line: quoted or bare, ended by a comma
// outside quotes or by the end of the line.
struct Field {
    const char* text = nullptr;
    std::size_t length = 0;
};

// Splits the header line [p, end) after the marker into fields. Returns the
// number of fields found (at most `max`).
int SplitFields(const char* p, const char* end, Field* fields, int max) noexcept {
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

bool ParseIndex(const Field& f, int* index) noexcept {
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
std::size_t TimeStampLength(const Field& f) noexcept {
    const char* comma = static_cast<const char*>(std::memchr(f.text, ',', f.length));
    std::size_t k = comma ? static_cast<std::size_t>(comma - f.text) : 0;
    while (k < f.length && f.text[k] != '+' && f.text[k] != '-') ++k;
    return k;
}

int Cap(std::size_t n) noexcept { return static_cast<int>(n < kMaxField ? n : kMaxField); }

}  // namespace

void ParsePduListing(char* answer, Slot* header, Slot* text, int slots,
                     bool emptyWhenNone) noexcept {
    if (answer == nullptr || header == nullptr || text == nullptr || slots <= 0) return;
    const char* entry = std::strstr(answer, kMarker);
    if (entry == nullptr) {
        // The read pair shows that nothing is left; the unread pair keeps the
        // messages last listed as unread, since the modem marks them read.
        if (emptyWhenNone) ClearPair(header, text, 0, slots);
        return;
    }
    ClearPair(header, text, 0, slots);

    for (int i = 0; entry != nullptr && i < slots; ++i) {
        char* headerEnd = std::strchr(const_cast<char*>(entry), '\n');
        if (headerEnd == nullptr) return;
        char* pduEnd = std::strchr(headerEnd + 1, '\n');
        if (pduEnd == nullptr) return;
        // An entry without its PDU line: the next header is not its PDU.
        if (std::strncmp(headerEnd + 1, kMarker, kMarkerLength) == 0) pduEnd = headerEnd;
        if (!emptyWhenNone) Trace("strstr pdest1=%d", static_cast<int>(pduEnd - answer));

        const int separator =
            DecodePduEntry(entry, static_cast<std::size_t>(pduEnd - entry), header[i]);
        if (separator >= 0) {
            char* body = header[i] + separator;
            std::memcpy(text[i], body + 1, std::strlen(body + 1) + 1);
            *body = '\0';
        }
        entry = std::strstr(pduEnd + 1, kMarker);
    }
}

void ParseTextListing(const char* answer, Slot* header, Slot* text, int slots) noexcept {
    if (header == nullptr || text == nullptr || slots <= 0) return;
    int i = 0;
    const char* p = answer;
    while (p != nullptr && i < slots) {
        const char* entry = std::strstr(p, kMarker);
        if (entry == nullptr) break;
        const char* lineEnd = std::strchr(entry, '\n');
        if (lineEnd == nullptr) break;
        const char* fieldsEnd = lineEnd;
        if (fieldsEnd > entry && fieldsEnd[-1] == '\r') --fieldsEnd;

        // index, "stat", "oa", [alpha], "scts" [, tooa, length]
        Field f[7];
        const int n = SplitFields(entry + kMarkerLength, fieldsEnd, f, 7);
        int index = 0;
        if (n < 3 || !ParseIndex(f[0], &index)) break;
        const Field sender = f[2];
        const Field stamp = n >= 5 ? f[4] : Field{};
        const std::size_t stampLength = stamp.text ? TimeStampLength(stamp) : 0;

        std::snprintf(header[i], kSlotSize, "<%d> %.*s Message From %.*s", index,
                      Cap(stampLength), stamp.text ? stamp.text : "", Cap(sender.length),
                      sender.text);

        const char* body = lineEnd + 1;
        std::size_t bodyLength = std::strcspn(body, "\r\n");
        CopyText(text[i], body, bodyLength);
        ++i;
        p = body + bodyLength;
    }
    ClearPair(header, text, i, slots);
}

}  // namespace vantor::sms
