// The display texts of received messages, made from their records in the
// ANSI code page (sms/code_page.h), cut at 255 bytes on a character
// boundary.
#include "sms/shown_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "sms/code_page.h"
#include "sms/listing_fields.h"
#include "sms/listing_reader.h"
#include "sms/received_read.h"

namespace vantor::sms {

namespace {

constexpr char kYear[] = "\xC4\xEA";    // 年
constexpr char kMonth[] = "\xD4\xC2";   // 月
constexpr char kDay[] = "\xC8\xD5";     // 日
constexpr char kFrom[] = "\xC0\xB4\xD7\xD4:";          // 来自:
constexpr char kMessage[] = "\xB5\xC4\xCF\xFB\xCF\xA2";  // 的消息 (the '@' follows)

constexpr int kMaxText = kDisplaySize - 1;

// --- the display text ----------------------------------------------------

// Appends whole characters only: a character that does not fit ends the text,
// so a cut never leaves half a double-byte character behind. The terminator
// is written when the text is done (the object goes out of scope).
class Display {
public:
    explicit Display(char* out) noexcept : out_(out) { out_[0] = '\0'; }
    ~Display() { out_[len_] = '\0'; }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;
    void Put(const char* bytes, int n) noexcept {
        if (full_ || len_ + n > kMaxText) {
            full_ = true;
            return;
        }
        std::memcpy(out_ + len_, bytes, static_cast<std::size_t>(n));
        len_ += n;
    }
    void Put(char c) noexcept { Put(&c, 1); }
    // Text in the ANSI code page, split into characters at GBK lead bytes.
    // The whole characters that fit go in with one copy; the first one that
    // does not fit ends the text, as with Put.
    void PutText(const char* text, int n) noexcept {
        if (full_ || n <= 0) return;
        const int room = kMaxText - len_;
        int fit = n <= room ? n : 0;  // all of it fits: no need to find the cut
        while (fit < n) {
            const int w = (static_cast<unsigned char>(text[fit]) >= 0x81 && fit + 1 < n) ? 2 : 1;
            if (fit + w > room) {
                full_ = true;
                break;
            }
            fit += w;
        }
        std::memcpy(out_ + len_, text, static_cast<std::size_t>(fit));
        len_ += fit;
    }
    void PutText(const char* text) noexcept { PutText(text, static_cast<int>(std::strlen(text))); }
    template <std::size_t N>
    void PutLiteral(const char (&text)[N]) noexcept { PutText(text, static_cast<int>(N - 1)); }
    // UTF-16 text through the code page (at most two bytes a character).
    // When every character fits whatever its width, straight into the text;
    // else through a scratch area, and only as many units as could fill the
    // room left (every unit gives at least half a byte).
    void PutUnits(const char16_t* units, int n) noexcept {
        const int room = kMaxText - len_;
        if (full_ || n <= 0) return;
        // 00..7F are ASCII in every ANSI code page: no conversion call.
        const int take = n < room ? n : room;
        char16_t high = 0;
        for (int i = 0; i < take; ++i) high |= units[i];
        if (high < 0x80) {
            for (int i = 0; i < take; ++i) out_[len_ + i] = static_cast<char>(units[i]);
            len_ += take;
            if (take < n) full_ = true;
            return;
        }
        if (2 * n <= room) {
            len_ += ToCodePage(units, n, out_ + len_, room);
            return;
        }
        if (n > 2 * room + 2) n = 2 * room + 2;
        char text[2 * (2 * kMaxText + 2)];
        PutText(text, ToCodePage(units, n, text, sizeof text));
    }
    int Length() const noexcept { return len_; }
    bool Full() const noexcept { return full_; }

private:
    char* out_;
    int len_ = 0;
    bool full_ = false;
};

// TP-SCTS shown as YY年MM月DD日hh:mm:ss, as far as the entry holds it.
void PutPduStamp(const TimeStamp& t, Display& d) noexcept {
    static const char* const kAfter[6] = {kYear, kMonth, kDay, ":", ":", ""};
    for (int k = 0; k < t.octets; ++k) {
        d.Put(t.digits[2 * k]);
        d.Put(t.digits[2 * k + 1]);
        d.PutText(kAfter[k]);
    }
}

// The header and body of a PDU-mode entry as one text; the offset of the '@'
// between them, or -1 when there is no body part.
int ShowPduEntry(const Received& r, char* out) noexcept {
    Display d(out);
    if (r.reach == ReceivedReach::kNothing) {
        d.Put('^');
        return -1;
    }
    d.Put('<');
    d.PutText(r.index);
    d.Put('>');
    if (r.reach == ReceivedReach::kNonText) d.PutUnits(kNonTextNotice, kNonTextNoticeUnits);
    if (r.reach == ReceivedReach::kStatusReport) d.PutUnits(kStatusReportNotice, kStatusReportNoticeUnits);
    if (r.reach == ReceivedReach::kIndex || r.reach == ReceivedReach::kNonText ||
        r.reach == ReceivedReach::kStatusReport)
        return -1;
    PutPduStamp(r.stamp, d);
    if (r.reach == ReceivedReach::kStamp) return -1;
    d.PutLiteral(kFrom);
    d.PutUnits(r.sender, r.senderUnits);
    d.PutLiteral(kMessage);
    if (r.parts != 0) {
        char text[24];
        const int n = std::snprintf(text, sizeof text, "(%d/%d)", r.part, r.parts);
        if (n > 0) d.PutText(text, n);
    }
    d.Put('@');
    if (d.Full()) return -1;
    const int separator = d.Length() - 1;
    d.PutUnits(r.text, r.textUnits);
    return separator;
}

// "<index> yy/MM/dd,hh:mm:ss Message From <sender>": the time stamp without
// its zone, the sender's bytes as the modem gave them (30 at most each).
void ShowTextHeader(const Received& r, Slot& header) noexcept {
    char stamp[kMaxField + 1];
    int s = 0;
    static const char kAfter[6] = {'/', '/', ',', ':', ':', '\0'};
    for (int k = 0; k < r.stamp.octets && k < 6; ++k) {
        stamp[s++] = r.stamp.digits[2 * k];
        stamp[s++] = r.stamp.digits[2 * k + 1];
        if (k + 1 < r.stamp.octets) stamp[s++] = kAfter[k];
    }
    stamp[s] = '\0';
    char sender[kMaxField + 1];
    int n = 0;
    if (r.international) sender[n++] = '+';
    for (int k = 0; k < r.senderUnits && n < kMaxField; ++k) sender[n++] = static_cast<char>(r.sender[k]);
    sender[n] = '\0';
    std::snprintf(header, kSlotSize, "<%s> %s Message From %s", r.index, stamp, sender);
}

}  // namespace

void ShowReceived(const Received& r, ListingFormat format, Slot& header, Slot& body) noexcept {
    if (format == ListingFormat::kPdu) {
        const int separator = ShowPduEntry(r, header);
        body[0] = '\0';
        if (separator >= 0) {
            std::memcpy(body, header + separator + 1, std::strlen(header + separator + 1) + 1);
            header[separator] = '\0';
        }
        return;
    }
    if (r.reach == ReceivedReach::kStatusReport) {
        std::snprintf(header, kSlotSize, "<%s> ", r.index);
        Display d(header + std::strlen(header));
        d.PutUnits(kStatusReportNotice, kStatusReportNoticeUnits);
        body[0] = '\0';
        return;
    }
    ShowTextHeader(r, header);
    Display d(body);
    if (r.nonText)
        d.PutUnits(kNonTextNotice, kNonTextNoticeUnits);
    else
        d.PutUnits(r.text, r.textUnits);
}

void ShowListing(const Received* records, int entries, ListingFormat format, Slot* header, Slot* text,
                 int slots) noexcept {
    for (int i = 0; i < slots; ++i) {
        if (i < entries) {
            ShowReceived(records[i], format, header[i], text[i]);
        } else {
            std::memset(header[i], 0, kSlotSize);
            std::memset(text[i], 0, kSlotSize);
        }
    }
}

namespace {

void ParseListing(ListingFormat format, const char* answer, std::size_t length, Slot* header,
                  Slot* text, int slots, bool emptyWhenNone) noexcept {
    if (slots > kMostListedSlots) slots = kMostListedSlots;
    if (answer == nullptr || header == nullptr || text == nullptr || slots <= 0) return;
    Received records[kMostListedSlots];
    ListingReader reader(format, records, slots);
    if (reader.Take(answer, length) == at::Verdict::kNotYet) reader.End();
    if (reader.Entries() == 0 && !emptyWhenNone) return;
    ShowListing(records, reader.Entries() < slots ? reader.Entries() : slots, format, header, text, slots);
}

}  // namespace

void ParsePduListing(const char* answer, std::size_t length, Slot* header, Slot* text, int slots,
                     bool emptyWhenNone) noexcept {
    ParseListing(ListingFormat::kPdu, answer, length, header, text, slots, emptyWhenNone);
}

void ParseTextListing(const char* answer, std::size_t length, Slot* header, Slot* text,
                      int slots) noexcept {
    ParseListing(ListingFormat::kText, answer, length, header, text, slots, true);
}

int DecodePduEntry(const char* entry, std::size_t length, char out[kDisplaySize]) noexcept {
    Received r;
    ReadPduEntry(entry, length, &r);
    return ShowPduEntry(r, out);
}

}  // namespace vantor::sms
