// SMS-DELIVER decoder for listing entries: TS 23.040 9.2.2.1 layout, TS 23.038
// clause 4 data coding groups, 7-bit unpacking through the GSM default
// alphabet, UCS-2, and user data headers (TS 23.040 9.2.3.24).
#include "sms/pdu_decode.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "os/os.h"
#include "sms/gsm_alphabet.h"

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
constexpr int kMaxSenderDigits = 32;  // longer address fields are not addresses
constexpr int kMaxIndexChars = 16;

// --- hexadecimal ---------------------------------------------------------

constexpr std::int8_t NibbleOf(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::int8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<std::int8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<std::int8_t>(c - 'a' + 10);
    return -1;
}

struct NibbleTable {
    std::int8_t v[256];
    constexpr NibbleTable() : v() {
        for (int c = 0; c < 256; ++c) v[c] = NibbleOf(static_cast<char>(c));
    }
};
constexpr NibbleTable kNibbles;

inline int Nibble(char c) { return kNibbles.v[static_cast<unsigned char>(c)]; }

// Octets of the PDU line: the run of hexadecimal digits it starts with, so a
// stray character ends the PDU rather than being read as data.
class OctetReader {
public:
    OctetReader(const char* hex, std::size_t limit) noexcept : hex_(hex) {
        // Blocks of 16 characters with no stray one are passed whole (the
        // block test has no early exit, so the compiler can vectorise it).
        std::size_t n = 0;
        while (limit - n >= kBlock) {
            unsigned stray = 0;
            for (std::size_t k = 0; k < kBlock; ++k) stray |= IsHexDigit(hex[n + k]) ? 0u : 1u;
            if (stray != 0) break;
            n += kBlock;
        }
        while (n < limit && IsHexDigit(hex[n])) ++n;
        octets_ = n / 2;
    }
    bool Read(std::uint8_t& v) noexcept {
        if (pos_ >= octets_) return false;
        v = At(pos_++);
        return true;
    }
    bool Skip(std::size_t n) noexcept {
        if (n > octets_ - pos_) {
            pos_ = octets_;
            return false;
        }
        pos_ += n;
        return true;
    }
    std::size_t Left() const noexcept { return octets_ - pos_; }
    std::size_t Pos() const noexcept { return pos_; }
    std::uint8_t At(std::size_t k) const noexcept {
        return static_cast<std::uint8_t>(Nibble(hex_[2 * k]) << 4 | Nibble(hex_[2 * k + 1]));
    }
    // The two hexadecimal characters of octet k as they stand.
    char Digit(std::size_t k, int which) const noexcept { return hex_[2 * k + which]; }

private:
    static constexpr std::size_t kBlock = 16;
    static bool IsHexDigit(char c) noexcept {
        const unsigned u = static_cast<unsigned char>(c);
        return u - '0' < 10u || (u | 0x20u) - 'a' < 6u;
    }
    const char* hex_;
    std::size_t octets_ = 0;
    std::size_t pos_ = 0;
};

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

// --- GSM default alphabet to the ANSI code page --------------------------

struct AnsiChar {
    std::uint8_t length;
    char bytes[2];
};

struct GsmAnsiTables {
    AnsiChar base[128];
    AnsiChar extension[128];
};

AnsiChar ToAnsi(char16_t c) noexcept {
    AnsiChar a{1, {'?', 0}};
    char buffer[8];
    const int n = os::WideCharToMultiByte(&c, 1, buffer, sizeof buffer, nullptr);
    if (n == 1 || n == 2) {
        a.length = static_cast<std::uint8_t>(n);
        std::memcpy(a.bytes, buffer, static_cast<std::size_t>(n));
    }
    return a;
}

// Built once through the code page seam; every septet afterwards is a lookup.
const GsmAnsiTables& Tables() noexcept {
    static const GsmAnsiTables tables = [] {
        GsmAnsiTables t{};
        for (std::uint8_t s = 0; s < 128; ++s) t.base[s] = ToAnsi(GsmToUnicode(s));
        for (std::uint8_t s = 0; s < 128; ++s) {
            // TS 23.038 6.2.1.1: a code missing from the extension table shows
            // as the default-alphabet character of the same code.
            const char16_t e = GsmExtensionToUnicode(s);
            t.extension[s] = e != 0 ? ToAnsi(e) : t.base[s];
        }
        return t;
    }();
    return tables;
}

// Unpacks `count` septets starting at septet `first` from `ud` (`octets` long)
// and hands each to `sink`. Stops where the user data ends.
template <typename Sink>
void Unpack(const std::uint8_t* ud, std::size_t octets, int first, int count, Sink&& sink) {
    for (int i = first; i < count; ++i) {
        const std::size_t bit = 7 * static_cast<std::size_t>(i);
        const std::size_t o = bit / 8;
        const unsigned shift = bit % 8;
        if (o >= octets) return;
        unsigned v = ud[o] >> shift;
        if (shift > 1) {
            if (o + 1 >= octets) return;
            v |= static_cast<unsigned>(ud[o + 1]) << (8 - shift);
        }
        if (!sink(static_cast<std::uint8_t>(v & 0x7F))) return;
    }
}

// Septets to display text, with ESC selecting the extension table.
class GsmText {
public:
    explicit GsmText(Display& d) noexcept : d_(d), t_(Tables()) {}
    bool operator()(std::uint8_t septet) noexcept {
        if (escaped_) {
            escaped_ = false;
            Put(t_.extension[septet]);
        } else if (septet == kEscape) {
            escaped_ = true;
        } else {
            Put(t_.base[septet]);
        }
        return !d_.Full();
    }
    // An ESC as the very last septet shows as a blank.
    void Finish() noexcept {
        if (escaped_) Put(t_.base[kEscape]);
        escaped_ = false;
    }

private:
    void Put(const AnsiChar& a) noexcept { d_.PutShort(a.bytes, a.length); }
    Display& d_;
    const GsmAnsiTables& t_;
    bool escaped_ = false;
};

// --- fields --------------------------------------------------------------

enum class Coding { Gsm7, Ucs2, NonText };

// TS 23.038 clause 4, coding groups of the TP-DCS octet.
Coding ClassifyDcs(std::uint8_t dcs) noexcept {
    switch (dcs >> 4) {
        case 0x0: case 0x1: case 0x2: case 0x3:   // general data coding
        case 0x4: case 0x5: case 0x6: case 0x7:   // automatic deletion group
            if (dcs & 0x20) return Coding::NonText;  // compressed
            switch ((dcs >> 2) & 0x3) {
                case 0: return Coding::Gsm7;
                case 2: return Coding::Ucs2;
                default: return Coding::NonText;  // 8-bit data, reserved
            }
        case 0xC: case 0xD: return Coding::Gsm7;  // message waiting, default alphabet
        case 0xE: return Coding::Ucs2;            // message waiting, UCS-2
        case 0xF: return (dcs & 0x04) ? Coding::NonText : Coding::Gsm7;  // class group
        default: return Coding::NonText;          // reserved groups 1000..1011
    }
}

// TS 23.040 9.1.2.3 semi-octet values; 0xF is the filler.
constexpr char kSemiOctet[] = "0123456789*#abc";

// TP-OA (TS 23.040 9.1.2.5) into `sender`. Returns false when the address runs
// past the PDU.
bool ReadSender(OctetReader& r, std::uint8_t digits, std::uint8_t toa, char* sender, int size,
                int* length) noexcept {
    const std::size_t octets = (digits + 1u) / 2u;
    if (octets > r.Left()) return false;
    const std::size_t start = r.Pos();
    r.Skip(octets);
    int n = 0;
    if (((toa >> 4) & 0x7) == 0x5) {
        // Alphanumeric (TS 23.038 6.2.1 packed in the address field).
        std::uint8_t raw[kMaxSenderDigits / 2 + 1];
        for (std::size_t k = 0; k < octets; ++k) raw[k] = r.At(start + k);
        std::uint8_t septets[kMaxSenderDigits];
        int count = 0;
        Unpack(raw, octets, 0, digits * 4 / 7, [&](std::uint8_t s) {
            septets[count++] = s;
            return true;
        });
        // A last septet of zero is the padding of a length given in whole octets.
        if (count > 0 && septets[count - 1] == 0) --count;
        const GsmAnsiTables& t = Tables();
        bool escaped = false;
        for (int k = 0; k < count; ++k) {
            const std::uint8_t s = septets[k];
            if (!escaped && s == kEscape) {
                escaped = true;
                continue;
            }
            const AnsiChar& a = escaped ? t.extension[s] : t.base[s];
            escaped = false;
            if (n + a.length >= size) break;
            std::memcpy(sender + n, a.bytes, a.length);
            n += a.length;
        }
    } else {
        for (int k = 0; k < digits && n + 1 < size; ++k) {
            const std::uint8_t o = r.At(start + static_cast<std::size_t>(k / 2));
            const int v = (k % 2 == 0) ? (o & 0xF) : (o >> 4);
            if (v == 0xF) continue;
            sender[n++] = kSemiOctet[v];
        }
    }
    sender[n] = '\0';
    *length = n;
    return true;
}

// TP-SCTS (TS 23.040 9.2.3.11): six swapped-digit octets shown as
// YY年MM月DD日hh:mm:ss, the time zone octet skipped.
bool PutTimeStamp(OctetReader& r, Display& d) noexcept {
    static const char* const kAfter[6] = {kYear, kMonth, kDay, ":", ":", ""};
    for (int k = 0; k < 6; ++k) {
        if (r.Left() == 0) return false;
        const std::size_t o = r.Pos();
        r.Skip(1);
        d.Put(r.Digit(o, 1));
        d.Put(r.Digit(o, 0));
        d.PutText(kAfter[k]);
    }
    return r.Skip(1);
}

void PutGsmBody(OctetReader& r, std::uint8_t udl, bool udhi, Display& d) noexcept {
    std::uint8_t ud[256];
    const std::size_t want = (7u * udl + 7u) / 8u;
    const std::size_t octets = want < r.Left() ? want : r.Left();
    for (std::size_t k = 0; k < octets; ++k) ud[k] = r.At(r.Pos() + k);
    int first = 0;
    if (udhi) {
        if (octets == 0) return;
        // The header and its fill bits end on a septet boundary.
        first = static_cast<int>(((ud[0] + 1u) * 8u + 6u) / 7u);
    }
    GsmText text(d);
    Unpack(ud, octets, first, udl, text);
    text.Finish();
}

void PutUcs2Body(OctetReader& r, std::uint8_t udl, bool udhi, Display& d) noexcept {
    std::size_t octets = udl < r.Left() ? udl : r.Left();
    std::size_t at = r.Pos();
    if (udhi) {
        if (octets == 0) return;
        const std::size_t header = r.At(at) + 1u;
        if (header >= octets) return;
        at += header;
        octets -= header;
    }
    // One conversion for the whole body; zero units add nothing.
    char16_t units[128];
    int n = 0;
    for (std::size_t k = 0; k + 1 < octets; k += 2) {
        const auto u = static_cast<char16_t>(r.At(at + k) << 8 | r.At(at + k + 1));
        if (u != 0) units[n++] = u;
    }
    if (n == 0) return;
    char text[4 * 128];
    const int bytes = os::WideCharToMultiByte(units, n, text, sizeof text, nullptr);
    if (bytes > 0) d.PutText(text, bytes);
}

// TS 23.040 9.2.3.24.1 (8-bit reference) and 9.2.3.24.8 (16-bit reference):
// the place of a part of a concatenated message, read from the user data
// header at the reader's position (TP-UDL, then TP-UD). Nothing is consumed.
struct PartPlace {
    int sequence = 0;
    int total = 0;
};

PartPlace FindPartPlace(const OctetReader& r) noexcept {
    PartPlace place;
    const std::size_t udl = r.Pos();
    if (r.Left() < 2) return place;
    const std::size_t udhl = r.At(udl + 1);
    if (udhl > r.Left() - 2) return place;  // a header cut off is not trusted
    const std::size_t end = udl + 2 + udhl;
    for (std::size_t ie = udl + 2; ie + 2 <= end;) {
        const std::uint8_t iei = r.At(ie);
        const std::size_t length = r.At(ie + 1);
        const std::size_t data = ie + 2;
        if (data + length > end) break;
        const std::size_t refOctets = iei == 0x00 ? 1 : iei == 0x08 ? 2 : 0;
        if (refOctets != 0 && length == refOctets + 2) {
            const int total = r.At(data + refOctets);
            const int sequence = r.At(data + refOctets + 1);
            // An element with a sequence of 0 or past the total is ignored
            // (TS 23.040 9.2.3.24.1); a message of one part needs no place.
            if (total >= 2 && sequence >= 1 && sequence <= total) {
                place.sequence = sequence;
                place.total = total;
            }
        }
        ie = data + length;
    }
    return place;
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
    OctetReader r(pdu, static_cast<std::size_t>(end - pdu));

    std::uint8_t v = 0;
    if (!r.Read(v) || !r.Skip(v)) return -1;  // service-centre address
    std::uint8_t firstOctet = 0, digits = 0, toa = 0;
    if (!r.Read(firstOctet) || !r.Read(digits)) return -1;
    if (digits >= kMaxSenderDigits) {
        d.PutText(kNonTextNotice);
        return -1;
    }
    if (!r.Read(toa)) return -1;
    char sender[2 * kMaxSenderDigits + 2];
    int senderLength = 0;
    if (!ReadSender(r, digits, toa, sender, sizeof sender, &senderLength)) return -1;

    std::uint8_t pid = 0, dcs = 0;
    if (!r.Read(pid) || !r.Read(dcs)) return -1;
    const Coding coding = ClassifyDcs(dcs);
    if (coding == Coding::NonText) {
        d.PutText(kNonTextNotice);
        return -1;
    }
    if (!PutTimeStamp(r, d)) return -1;
    d.PutText(kFrom);
    d.PutText(sender, senderLength);
    d.PutText(kMessage);
    const bool udhi = (firstOctet & 0x40) != 0;  // TP-UDHI; TP-RP (0x80) changes nothing
    if (udhi) {
        // A part of a concatenated message shows its place: "(2/3)".
        const PartPlace place = FindPartPlace(r);
        if (place.total != 0) {
            char text[12];
            const int n = std::snprintf(text, sizeof text, "(%d/%d)", place.sequence, place.total);
            if (n > 0) d.PutText(text, n);
        }
    }
    d.Put('@');
    if (d.Full()) return -1;
    const int separator = d.Length() - 1;

    std::uint8_t udl = 0;
    if (!r.Read(udl)) return separator;
    if (coding == Coding::Gsm7) PutGsmBody(r, udl, udhi, d);
    else PutUcs2Body(r, udl, udhi, d);
    return separator;
}

namespace {

int HexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// UTF-16 code units that a text can hold: no unpaired surrogate, no
// non-character, no control other than the line breaks and the tab.
bool ReadsAsUtf16(const char16_t* units, int n) noexcept {
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

// The length of a user data header (TS 23.040 9.2.3.24) at the start of the
// octets, its length octet included, when its information elements fill it
// exactly; 0 when the octets do not start with one. `ports` tells whether it
// addresses an application port (9.2.3.24.3, .4): data for a program, not
// text for a person.
std::size_t HeaderLength(const std::uint8_t* ud, std::size_t n, bool* ports) noexcept {
    *ports = false;
    if (n < 3) return 0;
    const std::size_t end = 1u + ud[0];
    if (ud[0] < 2 || end >= n) return 0;
    std::size_t ie = 1;
    while (ie + 2 <= end) {
        if (ud[ie] == 0x04 || ud[ie] == 0x05) *ports = true;
        ie += 2u + ud[ie + 1];
    }
    return ie == end ? end : 0;
}

// UCS-2 octets shown as text when they read as UTF-16 (and, with `strict`,
// when the code page has every character: packed septets read as UTF-16
// make valid but unlikely characters).
bool PutUtf16Text(const std::uint8_t* ud, std::size_t n, bool strict, Display& d) noexcept {
    char16_t units[70];
    if (n == 0 || n % 2 != 0 || n / 2 > 70) return false;
    const int count = static_cast<int>(n / 2);
    for (int i = 0; i < count; ++i) units[i] = static_cast<char16_t>(ud[2 * i] << 8 | ud[2 * i + 1]);
    if (!ReadsAsUtf16(units, count)) return false;
    char text[4 * 70];
    bool missing = false;
    const int bytes = os::WideCharToMultiByte(units, count, text, sizeof text, &missing);
    if (strict && missing) return false;
    if (bytes > 0) d.PutText(text, bytes);
    return true;
}

// Septets packed after a header of `header` octets (they start on the septet
// boundary after it).
void PutPackedText(const std::uint8_t* ud, std::size_t n, std::size_t header, Display& d) noexcept {
    const int first = static_cast<int>((header * 8u + 6u) / 7u);
    int count = static_cast<int>(n * 8u / 7u);
    // Seven fill bits in the last octet read as a last septet '@'.
    if (count > first && n * 8u % 7u == 0 && (ud[n - 1] >> 1) == 0) --count;
    GsmText out(d);
    Unpack(ud, n, first, count, out);
    out.Finish();
}

}  // namespace

void DisplayTextModeBody(const char* body, std::size_t length, int octets,
                         char out[kDisplaySize]) noexcept {
    Display d(out);
    bool hex = octets > 0 && length == 2 * static_cast<std::size_t>(octets) && length <= 2 * 140;
    for (std::size_t i = 0; hex && i < length; ++i) hex = HexDigit(body[i]) >= 0;
    if (!hex) {
        GsmText text(d);
        for (std::size_t i = 0; i < length && text(static_cast<std::uint8_t>(body[i]) & 0x7F); ++i) {
        }
        text.Finish();
        return;
    }
    std::uint8_t ud[140];
    const std::size_t n = length / 2;
    for (std::size_t i = 0; i < n; ++i)
        ud[i] = static_cast<std::uint8_t>(HexDigit(body[2 * i]) << 4 | HexDigit(body[2 * i + 1]));
    // The modem shows user data as hex when it is 8-bit or UCS-2, or when a
    // header precedes it (TS 27.005 3.1 <data>): then the text after the
    // header may also be packed 7-bit. Without a header, what does not read
    // as UTF-16 is not text; after one (a part of a long message), text that
    // is not UCS-2 the code page can show is taken as packed 7-bit.
    bool ports = false;
    const std::size_t header = HeaderLength(ud, n, &ports);
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
