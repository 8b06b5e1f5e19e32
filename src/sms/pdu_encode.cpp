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
constexpr int kMaxSeptets = 2 * kMaxUnits;  // every unit an escape pair at most

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
// least significant bit first.
void WritePacked(PduWriter& w, const std::uint8_t* septets, int n) noexcept {
    unsigned acc = 0;
    int bits = 0;
    for (int i = 0; i < n; ++i) {
        acc |= static_cast<unsigned>(septets[i] & 0x7F) << bits;
        bits += 7;
        if (bits >= 8) {
            w.Octet(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) w.Octet(acc & 0xFF);
}

bool IsAscii(const char* text, int length) noexcept {
    for (int i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
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

int Makecode(const char* number, const char* part0, const char* part1, std::uint8_t codeMod,
             char* pdu, std::int32_t* count) noexcept {
    if (pdu == nullptr || count == nullptr) return 0;
    *count = 0;
    pdu[0] = '\0';
    if (!IsDialableNumber(number)) return 0;

    char body[kBodySize];
    const int length = JoinBody(part0, part1, body);
    char16_t units[kMaxUnits];
    int u = 0;
    if (IsAscii(body, length)) {
        // 00..7F are ASCII in every ANSI code page: no conversion call needed.
        for (int i = 0; i < length; ++i) units[i] = static_cast<char16_t>(body[i]);
        u = length;
    } else {
        u = os::MultiByteToWideChar(body, length, units, kMaxUnits);
        if (u <= 0) return 0;
    }

    // The GSM alphabet is used when asked for and when every character has a
    // GSM form; anything else goes out as UCS-2 rather than being mangled.
    std::uint8_t septets[kMaxSeptets];
    int septetCount = 0;
    const bool gsm = codeMod == 0 && ToSeptets(units, u, septets, &septetCount);
    const int udl = gsm ? septetCount : 2 * u;
    if (udl > 0xFF) return 0;  // TP-UDL is one octet

    PduWriter w(pdu);
    w.Octet(0x00);  // no SMSC address: the modem uses its stored one
    w.Octet(0x11);  // SMS-SUBMIT, TP-VPF relative
    w.Octet(0x00);  // TP-MR, set by the modem
    WriteDestination(w, number);
    w.Octet(0x00);              // TP-PID
    w.Octet(gsm ? 0x00 : 0x08); // TP-DCS: GSM 7-bit or UCS-2
    w.Octet(0xA7);              // TP-VP: 24 hours
    w.Octet(static_cast<unsigned>(udl));
    if (gsm) {
        WritePacked(w, septets, septetCount);
    } else {
        for (int i = 0; i < u; ++i) w.Unit(units[i]);
    }
    if (!w.Ok()) {
        pdu[0] = '\0';
        return 0;
    }
    w.Terminate();
    *count = w.Count();
    return 1;
}

}  // namespace vantor::sms
