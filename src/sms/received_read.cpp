// Listing entries into records: PDU-mode entries from the fields of their
// SMS-DELIVER (sms/tpdu.h), text-mode entries from their header fields and
// body, every text as UTF-16.
#include "sms/received_read.h"

#include <bit>
#include <cstring>
#include <new>

#include "sms/code_page.h"
#include "sms/gsm_alphabet.h"
#include "sms/listing_fields.h"

namespace vantor::sms {
namespace {

// Characters into a fixed UTF-16 field; what does not fit is dropped.
class Units {
public:
    Units(char16_t* out, int* count, int capacity) noexcept
        : out_(out), count_(count), capacity_(capacity) {
        *count_ = 0;
    }
    bool Put(char16_t c) noexcept {
        if (*count_ >= capacity_) return false;
        out_[(*count_)++] = c;
        return true;
    }

private:
    char16_t* out_;
    int* count_;
    int capacity_;
};

// Septets to characters, ESC selecting the extension table for the septet
// after it (a code missing from that table is its default character; an
// ESC with nothing after it is a blank, TS 23.038 6.2.1.1).
class GsmUnits {
public:
    explicit GsmUnits(Units& out) noexcept : out_(out) {}
    bool operator()(std::uint8_t septet) noexcept {
        if (escaped_) {
            escaped_ = false;
            const char16_t e = GsmExtensionToUnicode(septet);
            return out_.Put(e != 0 ? e : GsmToUnicode(septet));
        }
        if (septet == kEscape) {
            escaped_ = true;
            return true;
        }
        return out_.Put(GsmToUnicode(septet));
    }
    void Finish() noexcept {
        if (escaped_) out_.Put(GsmToUnicode(kEscape));
        escaped_ = false;
    }

private:
    Units& out_;
    bool escaped_ = false;
};

char16_t Unit(const std::uint8_t* octets) noexcept {
    return static_cast<char16_t>(octets[0] << 8 | octets[1]);
}

// Septets `first`..`count - 1` of the `n` packed octets at `ud` (TS 23.038
// 6.1.2.1.1) as characters into `out`, as UnpackSeptets and GsmUnits would
// give them: an ESC selects the extension table for the septet after it, a
// lone last ESC is a blank, and the septets stop where the octets do. Where
// eight octets follow a septet's first bit, it is read from one 64-bit word.
int SeptetsToUnits(const std::uint8_t* ud, std::size_t n, int first, int count, char16_t* out) noexcept {
    static_assert(std::endian::native == std::endian::little);
    int units = 0;
    bool escaped = false;
    for (int i = first; i < count; ++i) {
        const std::size_t bit = 7 * static_cast<std::size_t>(i);
        const std::size_t o = bit / 8;
        const unsigned shift = bit % 8;
        std::uint8_t septet;
        if (o + sizeof(std::uint64_t) <= n) {
            std::uint64_t word;
            std::memcpy(&word, ud + o, sizeof word);
            septet = static_cast<std::uint8_t>((word >> shift) & 0x7F);
        } else {
            if (o >= n) break;
            unsigned v = ud[o] >> shift;
            if (shift > 1) {
                if (o + 1 >= n) break;
                v |= static_cast<unsigned>(ud[o + 1]) << (8 - shift);
            }
            septet = static_cast<std::uint8_t>(v & 0x7F);
        }
        if (escaped) {
            escaped = false;
            const char16_t e = GsmExtensionToUnicode(septet);
            out[units++] = e != 0 ? e : GsmToUnicode(septet);
        } else if (septet == kEscape) {
            escaped = true;
        } else {
            out[units++] = GsmToUnicode(septet);
        }
    }
    if (escaped) out[units++] = GsmToUnicode(kEscape);
    return units;
}

// The sender: its semi-octet digits, or the characters of an alphanumeric
// address; type of number 001 is international.
void ReadSender(const Address& a, Received& r) noexcept {
    Units units(r.sender, &r.senderUnits, kMaxSenderUnits);
    if (a.Alphanumeric()) {
        std::uint8_t septets[kMaxAddressDigits];
        const int count = AddressSeptets(a, septets);
        GsmUnits gsm(units);
        for (int k = 0; k < count; ++k) gsm(septets[k]);
        return;
    }
    char digits[kMaxAddressDigits + 1];
    const int n = AddressDigits(a, digits);
    for (int k = 0; k < n; ++k) units.Put(static_cast<char16_t>(digits[k]));
    r.international = ((a.type >> 4) & 0x7) == 0x1;
}

void ReadPduText(const Deliver& m, Received& r) noexcept {
    static_assert(kMaxUserData / 2 <= kMaxReceivedUnits);
    if (m.coding == Coding::kGsm7) {
        // At most 255 septets, well within the text's room: each is one
        // character, or with the ESC before it one.
        static_assert(kMaxUserData <= kMaxReceivedUnits);
        r.textUnits = SeptetsToUnits(m.userData, m.userDataOctets, m.textStart, m.udl, r.text);
        return;
    }
    // UCS-2: units of value 0 are left out, NUL is no character. User data
    // holds at most 127 units, well within the text's room.
    const std::size_t start = static_cast<std::size_t>(m.textStart);
    const std::size_t count = m.userDataOctets > start ? (m.userDataOctets - start) / 2 : 0;
    const std::uint8_t* ud = m.userData + start;
    int kept = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const char16_t u = Unit(ud + 2 * k);
        r.text[kept] = u;
        kept += u != 0 ? 1 : 0;
    }
    r.textUnits = kept;
}

// The storage index as written between "+CMGL:" and the first comma.
void ReadIndex(const char* p, const char* end, Received& r) noexcept {
    while (p < end && *p == ' ') ++p;
    int k = 0;
    for (; p < end && k < kMaxIndexChars; ++p, ++k) {
        if (*p == ',' || *p == '\r' || *p == '\n') break;
        r.index[k] = *p;
    }
    r.index[k] = '\0';
}

const char* Find(const char* p, const char* end, const char* what) noexcept {
    const std::size_t n = std::strlen(what);
    for (; static_cast<std::size_t>(end - p) >= n; ++p)
        if (std::memcmp(p, what, n) == 0) return p;
    return nullptr;
}

// <stat> in PDU mode: 0 received unread, 1 received read, 2 stored unsent,
// 3 stored sent.
MessageStatus PduStatus(const char* p, const char* end) noexcept {
    const char* comma = static_cast<const char*>(std::memchr(p, ',', static_cast<std::size_t>(end - p)));
    if (comma == nullptr) return MessageStatus::kUnknown;
    for (p = comma + 1; p < end && *p == ' '; ++p) {
    }
    if (p + 1 < end && p[1] != ',' && p[1] != '\r' && p[1] != '\n') return MessageStatus::kUnknown;
    switch (p < end ? *p : '\0') {
        case '0': return MessageStatus::kUnread;
        case '1': return MessageStatus::kRead;
        case '2': return MessageStatus::kUnsent;
        case '3': return MessageStatus::kSent;
        default: return MessageStatus::kUnknown;
    }
}

MessageStatus TextStatus(const Field& f) noexcept {
    const auto is = [&](const char* name) {
        return f.length == std::strlen(name) && std::memcmp(f.text, name, f.length) == 0;
    };
    if (is("REC UNREAD")) return MessageStatus::kUnread;
    if (is("REC READ")) return MessageStatus::kRead;
    if (is("STO UNSENT")) return MessageStatus::kUnsent;
    if (is("STO SENT")) return MessageStatus::kSent;
    return MessageStatus::kUnknown;
}

// Octets as UTF-16 text (big-endian units) when they can be text (see
// code_page.h ReadsAsUtf16Text); with `shown`, also only when the code page
// has every character. False, with nothing kept, when not.
bool ReadUtf16Text(const std::uint8_t* ud, std::size_t n, bool shown, Received& r) noexcept {
    if (n == 0 || n % 2 != 0 || n / 2 > static_cast<std::size_t>(kMaxUtf16Units)) return false;
    const int count = static_cast<int>(n / 2);
    for (int i = 0; i < count; ++i) r.text[i] = Unit(ud + 2 * i);
    if (!ReadsAsUtf16Text(r.text, count) || (shown && !CodePageHas(r.text, count))) return false;
    r.textUnits = count;
    return true;
}

// Septets packed after a header of `header` octets (they start on the septet
// boundary after it).
void ReadPackedText(const std::uint8_t* ud, std::size_t n, std::size_t header, Received& r) noexcept {
    const int first = FirstSeptetAfterHeader(header);
    int count = static_cast<int>(n * 8u / 7u);
    // Seven fill bits in the last octet read as a last septet '@'.
    if (count > first && n * 8u % 7u == 0 && (ud[n - 1] >> 1) == 0) --count;
    // At most 160 septets in 140 octets, within the text's room.
    r.textUnits = SeptetsToUnits(ud, n, first, count, r.text);
}

}  // namespace

void ReadPduEntry(const char* entry, std::size_t length, Received* out) noexcept {
    Received& r = *::new (static_cast<void*>(out)) Received;
    const char* end = entry ? entry + length : nullptr;
    const char* marker = entry ? Find(entry, end, "CMGL:") : nullptr;
    if (marker == nullptr) return;
    r.reach = ReceivedReach::kIndex;
    ReadIndex(marker + 5, end, r);

    const char* lineEnd = static_cast<const char*>(std::memchr(marker, '\n', static_cast<std::size_t>(end - marker)));
    if (lineEnd == nullptr) return;
    r.status = PduStatus(marker + 5, lineEnd);
    const char* pdu = lineEnd + 1;
    Deliver m;
    const DeliverRead read = ParseDeliver(pdu, static_cast<std::size_t>(end - pdu), &m);
    // TP-MTI: only an SMS-DELIVER (00) is a message received; a status
    // report (10) is shown as one, an SMS-SUBMIT or a reserved type as no
    // text, never read as a message. An octet not read stays 0.
    switch (m.firstOctet & 0x03) {
        case 0x00: break;
        case 0x02: r.reach = ReceivedReach::kStatusReport; return;
        default:
            r.reach = ReceivedReach::kNonText;
            r.nonText = true;
            return;
    }
    if (read == DeliverRead::kCutBeforeCoding) return;
    // An address of 32 or more digits is not read as one.
    if (read == DeliverRead::kOverlongAddress || m.coding == Coding::kNonText) {
        r.reach = ReceivedReach::kNonText;
        r.nonText = true;
        return;
    }
    r.stamp = m.stamp;
    if (read == DeliverRead::kCutInTimeStamp) {
        r.reach = ReceivedReach::kStamp;
        return;
    }
    ReadSender(m.sender, r);
    // TP-RP changes nothing.
    if (m.concat.total != 0) {
        r.part = m.concat.sequence;
        r.parts = m.concat.total;
    }
    r.reach = ReceivedReach::kHeader;
    if (read != DeliverRead::kWhole) return;
    r.reach = ReceivedReach::kWhole;
    ReadPduText(m, r);
}

TextHeader ReadTextHeader(const char* line, const char* end, Received* out, int* bodyLength) noexcept {
    Received& r = *::new (static_cast<void*>(out)) Received;
    *bodyLength = -1;
    Field f[7];
    const int n = SplitFields(line, end, f, 7);
    int index = 0;
    if (n < 3 || !ParseIndex(f[0], &index)) return TextHeader::kNone;
    // The index as a number, as a text-mode header shows it.
    char digits[8];
    int k = 0;
    do {
        digits[k++] = static_cast<char>('0' + index % 10);
        index /= 10;
    } while (index > 0 && k < 7);
    for (int i = 0; i < k; ++i) r.index[i] = digits[k - 1 - i];
    r.status = TextStatus(f[1]);
    // A report's third field is its first octet, a bare number; a message's
    // is its sender, quoted.
    int firstOctet = 0;
    if (!f[2].quoted && ParseIndex(f[2], &firstOctet)) {
        r.reach = ReceivedReach::kStatusReport;
        return TextHeader::kStatusReport;
    }
    // <oa> in the modem's character set: digits, '+', or the letters of an
    // alphanumeric sender, byte for character.
    const Field sender = f[2];
    std::size_t from = 0;
    if (sender.length > 0 && sender.text[0] == '+') {
        r.international = true;
        from = 1;
    }
    Units units(r.sender, &r.senderUnits, kMaxSenderUnits);
    for (std::size_t i = from; i < sender.length; ++i)
        units.Put(static_cast<char16_t>(static_cast<unsigned char>(sender.text[i])));
    if (n >= 5 && f[4].text != nullptr) ReadTextStamp(f[4], r.stamp);
    if (n == 7 && !ParseIndex(f[6], bodyLength)) *bodyLength = -1;
    r.reach = ReceivedReach::kWhole;
    return TextHeader::kMessage;
}

void ReadTextBody(const char* body, std::size_t length, int octets, Received* out) noexcept {
    Received& r = *out;
    r.textUnits = 0;
    r.nonText = false;
    constexpr std::size_t kMaxOctets = 2 * kMaxUtf16Units;
    std::uint8_t ud[kMaxOctets];
    const bool hex = octets > 0 && length == 2 * static_cast<std::size_t>(octets) &&
                     length <= 2 * kMaxOctets && OctetsFromHex(body, length, ud);
    if (!hex) {
        Units units(r.text, &r.textUnits, kMaxReceivedUnits);
        GsmUnits gsm(units);
        for (std::size_t i = 0; i < length && gsm(static_cast<std::uint8_t>(body[i]) & 0x7F); ++i) {
        }
        gsm.Finish();
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
        r.nonText = !ReadUtf16Text(ud, n, false, r);
        return;
    }
    if (ports) {
        r.nonText = true;
        return;
    }
    if (!ReadUtf16Text(ud + header, n - header, true, r)) ReadPackedText(ud, n, header, r);
}

}  // namespace vantor::sms
