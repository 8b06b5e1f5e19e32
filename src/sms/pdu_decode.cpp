// Display texts of listing entries: the header part of a PDU-mode entry
// ("<index>" time stamp, sender, the place of a part, '@', the body) from the
// fields of its SMS-DELIVER (sms/tpdu.h), and the body of a text-mode entry,
// in the ANSI code page (sms/code_page.h), cut at 255 bytes on a character
// boundary.
#include "sms/pdu_decode.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "sms/code_page.h"
#include "sms/gsm_alphabet.h"
#include "sms/tpdu.h"

namespace vantor::sms {

// 非文本短消息，请用相应型号的手机查看！ (not a text message; view it on a telephone of the matching model)
const char kNonTextNotice[] =
    "\xB7\xC7\xCE\xC4\xB1\xBE\xB6\xCC\xCF\xFB\xCF\xA2\xA3\xAC\xC7\xEB\xD3\xC3\xCF\xE0"
    "\xD3\xA6\xD0\xCD\xBA\xC5\xB5\xC4\xCA\xD6\xBB\xFA\xB2\xE9\xBF\xB4\xA3\xA1";

namespace {

constexpr char kYear[] = "\xC4\xEA";    // 年
constexpr char kMonth[] = "\xD4\xC2";   // 月
constexpr char kDay[] = "\xC8\xD5";     // 日
constexpr char kFrom[] = "\xC0\xB4\xD7\xD4:";          // 来自:
constexpr char kMessage[] = "\xB5\xC4\xCF\xFB\xCF\xA2";  // 的消息 (the '@' follows)

constexpr int kMaxText = kDisplaySize - 1;
constexpr int kMaxIndexChars = 16;
// An alphanumeric sender: at most 17 septets of up to two bytes each.
constexpr int kSenderSize = 2 * (kMaxAddressDigits + 1) + 2;

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
    // One character of one or two bytes from a two-byte field: both bytes are
    // stored (a spare one lands where the next character or the terminator
    // goes), which spares a copy of variable length per character.
    void PutShort(const char (&bytes)[2], int n) noexcept {
        if (full_ || len_ + n > kMaxText) {
            full_ = true;
            return;
        }
        out_[len_] = bytes[0];
        out_[len_ + 1] = bytes[1];
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
    int Length() const noexcept { return len_; }
    bool Full() const noexcept { return full_; }

private:
    char* out_;
    int len_ = 0;
    bool full_ = false;
};

// Septets to display text through the code page, ESC selecting the
// extension table; the text stops where the display is full.
class GsmText {
public:
    explicit GsmText(Display& d) noexcept : d_(d) {}
    bool operator()(std::uint8_t septet) noexcept {
        if (const CodePageChar* c = gsm_.Take(septet)) Put(*c);
        return !d_.Full();
    }
    // An ESC as the very last septet shows as a blank.
    void Finish() noexcept {
        if (gsm_.Escaped()) Put(gsm_.LoneEscape());
    }

private:
    void Put(const CodePageChar& c) noexcept { d_.PutShort(c.bytes, c.length); }
    Display& d_;
    GsmToCodePage gsm_;
};

// --- PDU-mode entries ----------------------------------------------------

// The sender as shown: its digits, or the characters of an alphanumeric
// address (an ESC with nothing after it shows nothing). Returns the length.
int SenderText(const Address& a, char (&out)[kSenderSize]) noexcept {
    if (!a.Alphanumeric()) return AddressDigits(a, out);
    std::uint8_t septets[kMaxAddressDigits];
    const int count = AddressSeptets(a, septets);
    GsmToCodePage gsm;
    int n = 0;
    for (int k = 0; k < count; ++k) {
        const CodePageChar* c = gsm.Take(septets[k]);
        if (c == nullptr) continue;
        if (n + c->length >= kSenderSize) break;
        std::memcpy(out + n, c->bytes, c->length);
        n += c->length;
    }
    out[n] = '\0';
    return n;
}

// TP-SCTS shown as YY年MM月DD日hh:mm:ss, as far as the line holds it.
void PutTimeStamp(const TimeStamp& t, Display& d) noexcept {
    static const char* const kAfter[6] = {kYear, kMonth, kDay, ":", ":", ""};
    for (int k = 0; k < t.octets; ++k) {
        d.Put(t.digits[2 * k]);
        d.Put(t.digits[2 * k + 1]);
        d.PutText(kAfter[k]);
    }
}

void PutBody(const Deliver& m, Display& d) noexcept {
    if (m.coding == Coding::kGsm7) {
        GsmText text(d);
        UnpackSeptets(m.userData, m.userDataOctets, m.textStart, m.udl, text);
        text.Finish();
        return;
    }
    const auto start = static_cast<std::size_t>(m.textStart);
    char text[4 * kMaxUcs2Units];
    const int bytes =
        Ucs2ToCodePage(m.userData + start, m.userDataOctets - start, text, sizeof text);
    if (bytes > 0) d.PutText(text, bytes);
}

// The storage index as written between "+CMGL:" and the first comma.
void PutIndex(const char* p, const char* end, Display& d) noexcept {
    d.Put('<');
    while (p < end && *p == ' ') ++p;
    for (int k = 0; p < end && k < kMaxIndexChars; ++p, ++k) {
        if (*p == ',' || *p == '\r' || *p == '\n') break;
        d.Put(*p);
    }
    d.Put('>');
}

const char* Find(const char* p, const char* end, const char* what) noexcept {
    const std::size_t n = std::strlen(what);
    for (; static_cast<std::size_t>(end - p) >= n; ++p)
        if (std::memcmp(p, what, n) == 0) return p;
    return nullptr;
}

// --- text-mode bodies ----------------------------------------------------

// Octets shown as UTF-16 text when they can be text (see
// Utf16TextToCodePage); false when they cannot.
bool PutUtf16Text(const std::uint8_t* ud, std::size_t n, bool strict, Display& d) noexcept {
    char text[4 * kMaxUtf16Units];
    const int bytes = Utf16TextToCodePage(ud, n, strict, text, sizeof text);
    if (bytes < 0) return false;
    if (bytes > 0) d.PutText(text, bytes);
    return true;
}

// Septets packed after a header of `header` octets (they start on the septet
// boundary after it).
void PutPackedText(const std::uint8_t* ud, std::size_t n, std::size_t header, Display& d) noexcept {
    const int first = FirstSeptetAfterHeader(header);
    int count = static_cast<int>(n * 8u / 7u);
    // Seven fill bits in the last octet read as a last septet '@'.
    if (count > first && n * 8u % 7u == 0 && (ud[n - 1] >> 1) == 0) --count;
    GsmText out(d);
    UnpackSeptets(ud, n, first, count, out);
    out.Finish();
}

}  // namespace

int DecodePduEntry(const char* entry, std::size_t length, char out[kDisplaySize]) noexcept {
    Display d(out);
    const char* end = entry ? entry + length : nullptr;
    const char* marker = entry ? Find(entry, end, "CMGL:") : nullptr;
    if (marker == nullptr) {
        d.Put('^');
        return -1;
    }
    PutIndex(marker + 5, end, d);

    const char* lineEnd = static_cast<const char*>(std::memchr(marker, '\n', end - marker));
    if (lineEnd == nullptr) return -1;
    const char* pdu = lineEnd + 1;
    Deliver m;
    const DeliverRead read = ParseDeliver(pdu, static_cast<std::size_t>(end - pdu), &m);
    if (read == DeliverRead::kCutBeforeCoding) return -1;
    // An address of 32 or more digits is not read as one: the notice.
    if (read == DeliverRead::kOverlongAddress || m.coding == Coding::kNonText) {
        d.PutText(kNonTextNotice);
        return -1;
    }
    PutTimeStamp(m.stamp, d);
    if (read == DeliverRead::kCutInTimeStamp) return -1;
    char sender[kSenderSize];
    const int senderLength = SenderText(m.sender, sender);
    d.PutText(kFrom);
    d.PutText(sender, senderLength);
    d.PutText(kMessage);
    // A part of a concatenated message shows its place: "(2/3)". TP-RP
    // changes nothing.
    if (m.concat.total != 0) {
        char text[12];
        const int n = std::snprintf(text, sizeof text, "(%d/%d)", m.concat.sequence, m.concat.total);
        if (n > 0) d.PutText(text, n);
    }
    d.Put('@');
    if (d.Full()) return -1;
    const int separator = d.Length() - 1;
    if (read == DeliverRead::kWhole) PutBody(m, d);
    return separator;
}

void DisplayTextModeBody(const char* body, std::size_t length, int octets,
                         char out[kDisplaySize]) noexcept {
    Display d(out);
    constexpr std::size_t kMaxOctets = 2 * kMaxUtf16Units;
    std::uint8_t ud[kMaxOctets];
    const bool hex = octets > 0 && length == 2 * static_cast<std::size_t>(octets) &&
                     length <= 2 * kMaxOctets && OctetsFromHex(body, length, ud);
    if (!hex) {
        GsmText text(d);
        for (std::size_t i = 0; i < length && text(static_cast<std::uint8_t>(body[i]) & 0x7F); ++i) {
        }
        text.Finish();
        return;
    }
    const std::size_t n = length / 2;
    // The modem shows user data as hex when it is 8-bit or UCS-2, or when a
    // header precedes it (TS 27.005 3.1 <data>): then the text after the
    // header may also be packed 7-bit. Without a header, what does not read
    // as UTF-16 is not text; after one (a part of a long message), text that
    // is not UCS-2 the code page can show is taken as packed 7-bit.
    bool ports = false;
    const std::size_t header = UserDataHeaderLength(ud, n, &ports);
    if (header == 0) {
        if (!PutUtf16Text(ud, n, false, d)) d.PutText(kNonTextNotice);
        return;
    }
    if (ports) {
        d.PutText(kNonTextNotice);
        return;
    }
    if (!PutUtf16Text(ud + header, n - header, true, d)) PutPackedText(ud, n, header, d);
}

}  // namespace vantor::sms
