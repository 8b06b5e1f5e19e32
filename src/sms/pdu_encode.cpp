// SMS-SUBMIT encoder: TS 23.040 9.2.2.2 layout, TS 23.038 6.1.2.1 septet
// packing and UCS-2 user data.
#include "sms/pdu_encode.h"

#include <cstring>

#include "os/os.h"
#include "sms/gsm_alphabet.h"

namespace vantor::sms {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kMaxSlotText = 255;
constexpr int kMaxUnits = kBodySize;        // one UTF-16 unit per body byte at most

// Appends to the PDU text, refusing anything past its last byte (kept for NUL
// and the Ctrl-Z the send dialogue adds).
class PduWriter {
public:
    explicit PduWriter(char* out) noexcept : out_(out) {}
    void Octet(unsigned v) noexcept {
        if (!Room(2)) return;
        out_[count_++] = kHexDigits[(v >> 4) & 0xF];
        out_[count_++] = kHexDigits[v & 0xF];
    }
    void Unit(char16_t u) noexcept {
        Octet(static_cast<unsigned>(u) >> 8);
        Octet(static_cast<unsigned>(u) & 0xFF);
    }
    void Char(char c) noexcept {
        if (Room(1)) out_[count_++] = c;
    }
    bool Ok() const noexcept { return ok_; }
    std::int32_t Count() const noexcept { return count_; }
    void Terminate() noexcept { out_[count_] = '\0'; }

private:
    bool Room(int n) noexcept {
        if (count_ + n > kPduTextSize - 2) ok_ = false;
        return ok_;
    }
    char* out_;
    std::int32_t count_ = 0;
    bool ok_ = true;
};

// TP-DA (TS 23.040 9.1.2.5): digit count, type of address, digits as swapped
// semi-octets with an 'F' filler after an odd last digit.
void WriteDestination(PduWriter& w, const char* number) noexcept {
    const bool international = number[0] == '+';
    const char* digits = number + (international ? 1 : 0);
    const int d = static_cast<int>(std::strlen(digits));
    w.Octet(static_cast<unsigned>(d));
    w.Octet(international ? 0x91 : 0x81);
    for (int k = 0; k < d; k += 2) {
        w.Char(k + 1 < d ? digits[k + 1] : 'F');
        w.Char(digits[k]);
    }
}

// Maps the whole body to GSM septets; false when a character has none.
bool ToSeptets(const char16_t* units, int n, std::uint8_t* septets, int* count) noexcept {
    int s = 0;
    for (int i = 0; i < n; ++i) {
        const int k = UnicodeToGsm(units[i], septets + s);
        if (k == 0) return false;
        s += k;
    }
    *count = s;
    return true;
}

// TS 23.038 6.1.2.1.1: septet i occupies bits 7i..7i+6 of the user data,
// least significant bit first. A user data header goes first as whole octets,
// followed by fill bits up to the next septet boundary (TS 23.040 9.2.3.24).
class SeptetPacker {
public:
    explicit SeptetPacker(PduWriter& w) noexcept : w_(w) {}
    void Put(unsigned value, int width) noexcept {
        acc_ |= (value & ((1u << width) - 1u)) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            w_.Octet(acc_ & 0xFF);
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    void Header(const std::uint8_t* octets, int n) noexcept {
        for (int i = 0; i < n; ++i) Put(octets[i], 8);
        Put(0, (7 - (8 * n) % 7) % 7);
    }
    void Septets(const std::uint8_t* septets, int n) noexcept {
        for (int i = 0; i < n; ++i) Put(septets[i], 7);
    }
    void Finish() noexcept {
        if (bits_ > 0) w_.Octet(acc_ & 0xFF);
        acc_ = 0;
        bits_ = 0;
    }

private:
    PduWriter& w_;
    unsigned acc_ = 0;
    int bits_ = 0;
};

bool IsAscii(const char* text, int length) noexcept {
    for (int i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

// TS 23.040 9.2.3.24.1: concatenated short message, 8-bit reference.
constexpr int kConcatHeaderOctets = 6;  // UDHL, IEI, IEDL, reference, parts, sequence

// The septets or units of a part, and the header that goes in front of it
// (none for a single message).
struct PartView {
    int from = 0;
    int to = 0;
    const std::uint8_t* header = nullptr;
    int headerOctets = 0;
};

// Writes the SMS-SUBMIT for the septets or units [from, to) of `body`.
// Returns false when the user data length does not fit its octet or the text
// does not fit the PDU area.
bool WriteSubmit(const char* number, const SubmitBody& body, const PartView& part, char* pdu,
                 std::int32_t* count) noexcept {
    const int n = part.to - part.from;
    const int headerUnits = body.gsm ? (8 * part.headerOctets + 6) / 7 : part.headerOctets;
    const int udl = body.gsm ? headerUnits + n : headerUnits + 2 * n;
    if (udl > 0xFF) return false;  // TP-UDL is one octet

    PduWriter w(pdu);
    w.Octet(0x00);  // no SMSC address: the modem uses its stored one
    // SMS-SUBMIT, TP-VPF relative, TP-UDHI, TP-SRR.
    w.Octet(static_cast<std::uint8_t>((part.header != nullptr ? 0x51 : 0x11) | (body.statusReport ? 0x20 : 0)));
    w.Octet(0x00);  // TP-MR, set by the modem
    WriteDestination(w, number);
    w.Octet(0x00);                   // TP-PID
    w.Octet(body.gsm ? 0x00 : 0x08); // TP-DCS: GSM 7-bit or UCS-2
    w.Octet(0xA7);                   // TP-VP: 24 hours
    w.Octet(static_cast<unsigned>(udl));
    if (body.gsm) {
        SeptetPacker packer(w);
        if (part.header != nullptr) packer.Header(part.header, part.headerOctets);
        packer.Septets(body.septets + part.from, n);
        packer.Finish();
    } else {
        for (int i = 0; i < part.headerOctets; ++i) w.Octet(part.header[i]);
        for (int i = part.from; i < part.to; ++i) w.Unit(body.units[i]);
    }
    if (!w.Ok()) {
        pdu[0] = '\0';
        return false;
    }
    w.Terminate();
    *count = w.Count();
    return true;
}

// Where the part that starts at `from` ends: at most `limit` septets or
// units, never between the two halves of an escape or surrogate pair.
int PartEnd(const SubmitBody& body, int from, int limit) noexcept {
    int i = from;
    while (i < body.length) {
        int w = 1;
        if (body.gsm) {
            if (body.septets[i] == kEscape && i + 1 < body.length) w = 2;
        } else {
            const char16_t u = body.units[i];
            if (u >= 0xD800 && u < 0xDC00 && i + 1 < body.length && body.units[i + 1] >= 0xDC00 &&
                body.units[i + 1] < 0xE000)
                w = 2;
        }
        if (i - from + w > limit) break;
        i += w;
    }
    return i;
}

}  // namespace

int IsDialableNumber(const char* number) noexcept {
    if (number == nullptr) return 0;
    const char* p = number[0] == '+' ? number + 1 : number;
    int digits = 0;
    for (; *p != '\0'; ++p, ++digits)
        if (*p < '0' || *p > '9' || digits >= kMaxNumberDigits) return 0;
    return digits > 0 ? 1 : 0;
}

int JoinBody(const char* part0, const char* part1, char body[kBodySize]) noexcept {
    std::memset(body, 0, kBodySize);
    const std::size_t n0 = part0 ? strnlen(part0, kMaxSlotText) : 0;
    const std::size_t n1 = part1 ? strnlen(part1, kMaxSlotText) : 0;
    if (n0) std::memcpy(body, part0, n0);
    if (n1) std::memcpy(body + n0, part1, n1);
    return static_cast<int>(n0 + n1);
}

int SplitBody(const char* part0, const char* part1, std::uint8_t codeMod, SubmitBody* body) noexcept {
    char text[kBodySize];
    const int length = JoinBody(part0, part1, text);
    return SplitText(text, length, codeMod, body);
}

int SplitText(const char* text, int length, std::uint8_t codeMod, SubmitBody* body) noexcept {
    if (body == nullptr) return 0;
    body->parts = 0;
    body->length = 0;
    body->statusReport = false;
    if (text == nullptr || length < 0 || length > kBodySize - 2) return 0;
    int u = 0;
    if (IsAscii(text, length)) {
        // 00..7F are ASCII in every ANSI code page: no conversion call needed.
        for (int i = 0; i < length; ++i) body->units[i] = static_cast<char16_t>(text[i]);
        u = length;
    } else {
        u = os::MultiByteToWideChar(text, length, body->units, kMaxUnits);
        if (u <= 0) return 0;
    }

    // The GSM alphabet is used when asked for and when every character has a
    // GSM form; anything else goes out as UCS-2 rather than being mangled.
    int septetCount = 0;
    body->gsm = codeMod == 0 && ToSeptets(body->units, u, body->septets, &septetCount);
    body->length = body->gsm ? septetCount : u;

    return CutParts(body);
}

int CutParts(SubmitBody* body) noexcept {
    if (body == nullptr || body->length < 0 || body->length > (body->gsm ? 2 * kBodySize : kBodySize))
        return 0;
    body->parts = 0;
    body->start[0] = 0;
    if (body->length <= (body->gsm ? kSingleSeptets : kSingleUnits)) {
        body->start[1] = static_cast<std::int16_t>(body->length);
        body->parts = 1;
        return 1;
    }
    const int limit = body->gsm ? kPartSeptets : kPartUnits;
    int parts = 0;
    for (int from = 0; from < body->length && parts < kMaxParts; ++parts) {
        from = PartEnd(*body, from, limit);
        body->start[parts + 1] = static_cast<std::int16_t>(from);
    }
    if (body->start[parts] != body->length) return 0;  // cannot happen within kBodySize
    body->parts = parts;
    return parts;
}

int EncodePart(const char* number, const SubmitBody& body, int k, std::uint8_t reference, char* pdu,
               std::int32_t* count) noexcept {
    if (pdu == nullptr || count == nullptr) return 0;
    *count = 0;
    pdu[0] = '\0';
    if (!IsDialableNumber(number) || k < 0 || k >= body.parts) return 0;
    PartView part;
    part.from = body.start[k];
    part.to = body.start[k + 1];
    const std::uint8_t header[kConcatHeaderOctets] = {
        kConcatHeaderOctets - 1, 0x00, 0x03, reference, static_cast<std::uint8_t>(body.parts),
        static_cast<std::uint8_t>(k + 1)};
    if (body.parts > 1) {
        part.header = header;
        part.headerOctets = kConcatHeaderOctets;
    }
    return WriteSubmit(number, body, part, pdu, count) ? 1 : 0;
}

int Makecode(const char* number, const char* part0, const char* part1, std::uint8_t codeMod,
             char* pdu, std::int32_t* count) noexcept {
    if (pdu == nullptr || count == nullptr) return 0;
    *count = 0;
    pdu[0] = '\0';
    SubmitBody body;
    if (SplitBody(part0, part1, codeMod, &body) == 0) return 0;
    return EncodeWhole(number, body, pdu, count);
}

int EncodeWhole(const char* number, const SubmitBody& body, char* pdu, std::int32_t* count) noexcept {
    if (pdu == nullptr || count == nullptr) return 0;
    *count = 0;
    pdu[0] = '\0';
    if (!IsDialableNumber(number) || body.parts == 0) return 0;
    // The whole body as one message, however long: the caller decides whether
    // the modem can take it.
    PartView whole;
    whole.to = body.length;
    return WriteSubmit(number, body, whole, pdu, count) ? 1 : 0;
}

}  // namespace vantor::sms
