// Listing answers of AT+CMGL (3GPP TS 27.005 3.4.2 / 4.1) into the header and
// text stores of a message pair.
#include "sms/listing.h"

#include <cstdio>
#include <cstring>

#include "diag/trace.h"
#include "sms/listing_fields.h"
#include "sms/pdu_decode.h"

namespace vantor::sms {

namespace {

constexpr char kMarker[] = "+CMGL:";
constexpr std::size_t kMarkerLength = sizeof kMarker - 1;

void ClearPair(Slot* header, Slot* text, int from, int slots) noexcept {
    for (int i = from; i < slots; ++i) {
        std::memset(header[i], 0, kSlotSize);
        std::memset(text[i], 0, kSlotSize);
    }
}

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
