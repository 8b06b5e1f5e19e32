// SMS-DELIVER fields: the TS 23.040 9.2.2.1 layout after the service-centre
// address, TS 23.038 clause 4 data coding groups, and the user data header
// (TS 23.040 9.2.3.24).
#include "sms/tpdu.h"

#include <bit>
#include <cstring>
#include <new>

#include "sms/gsm_alphabet.h"

namespace vantor::sms {

namespace {

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

// The eight-characters-at-once hex reading takes the first character for a
// word's lowest byte, as on every machine the driver runs on.
static_assert(std::endian::native == std::endian::little);

// Octets of the PDU line: the run of hexadecimal digits it starts with.
class OctetReader {
public:
    OctetReader(const char* hex, std::size_t limit) noexcept : hex_(hex) {
        // Blocks of 16 characters with no stray one are passed whole (the
        // block test has no early exit, so the compiler can vectorise it).
        std::size_t n = 0;
        while (limit - n >= kBlock) {
            std::uint8_t stray = 0;
            for (std::size_t k = 0; k < kBlock; ++k) stray |= Stray(static_cast<std::uint8_t>(hex[n + k]));
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
    // Octets [from, from + n) into `out`. Every character before octets_ is
    // a hex digit (the constructor saw to that), so eight of them are read
    // as one 64-bit word: a digit's value is its low four bits, plus 9 for
    // a letter (bit 6 set), and neighbouring values pair into octets.
    void Copy(std::size_t from, std::size_t n, std::uint8_t* out) const noexcept {
        const char* p = hex_ + 2 * from;
        std::size_t k = 0;
        for (; k + 4 <= n; k += 4) {
            std::uint64_t x;
            std::memcpy(&x, p + 2 * k, sizeof x);
            const std::uint64_t v = (x & 0x0F0F0F0F0F0F0F0Full) + 9 * ((x >> 6) & 0x0101010101010101ull);
            // Each 16-bit lane: its first character's value, then its second's.
            std::uint64_t w = ((v & 0x00FF00FF00FF00FFull) << 4) | ((v >> 8) & 0x00FF00FF00FF00FFull);
            w = (w | (w >> 8)) & 0x0000FFFF0000FFFFull;
            w = (w | (w >> 16)) & 0x00000000FFFFFFFFull;
            const auto four = static_cast<std::uint32_t>(w);
            std::memcpy(out + k, &four, sizeof four);
        }
        for (; k < n; ++k)
            out[k] = static_cast<std::uint8_t>(Nibble(p[2 * k]) << 4 | Nibble(p[2 * k + 1]));
    }
    // The two hexadecimal characters of octet k as they stand.
    char Digit(std::size_t k, int which) const noexcept { return hex_[2 * k + which]; }

private:
    static constexpr std::size_t kBlock = 16;
    static bool IsHexDigit(char c) noexcept { return Stray(static_cast<std::uint8_t>(c)) == 0; }
    // 1 for a character that is no hex digit, in byte-wide arithmetic only,
    // so that a block is tested sixteen characters at a time.
    static std::uint8_t Stray(std::uint8_t c) noexcept {
        const std::uint8_t digit = static_cast<std::uint8_t>(c - '0');
        const std::uint8_t letter = static_cast<std::uint8_t>((c | 0x20) - 'a');
        return static_cast<std::uint8_t>((digit >= 10) & (letter >= 6));
    }
    const char* hex_;
    std::size_t octets_ = 0;
    std::size_t pos_ = 0;
};

// TS 23.040 9.1.2.3 semi-octet values; 0xF is the filler.
constexpr char kSemiOctet[] = "0123456789*#abc";

// TP-OA after its length octet: the type and the value. False when the
// value runs past the PDU.
bool ReadAddress(OctetReader& r, Address& a) noexcept {
    if (!r.Read(a.type)) return false;
    const std::size_t octets = (a.length + 1u) / 2u;
    if (octets > r.Left()) return false;
    for (std::size_t k = 0; k < octets; ++k) a.octets[k] = r.At(r.Pos() + k);
    r.Skip(octets);
    return true;
}

// TP-SCTS: six octets of date and time, then the time zone.
bool ReadTimeStamp(OctetReader& r, TimeStamp& t) noexcept {
    for (t.octets = 0; t.octets < 6; ++t.octets) {
        if (r.Left() == 0) return false;
        const std::size_t o = r.Pos();
        r.Skip(1);
        t.digits[2 * t.octets] = r.Digit(o, 1);
        t.digits[2 * t.octets + 1] = r.Digit(o, 0);
    }
    std::uint8_t zone = 0;
    t.hasZone = r.Read(zone);
    // Swapped semi-octets like the rest; bit 3 of the first one is the sign.
    const int quarters = (zone & 0x07) * 10 + (zone >> 4);
    t.zone = (zone & 0x08) ? -quarters : quarters;
    return t.hasZone;
}

// The concatenation element of the user data header at the reader's
// position (TP-UDL, then TP-UD), as far as the line holds it. Nothing is
// consumed. A later valid element wins over an earlier one.
Concat FindConcat(const OctetReader& r) noexcept {
    Concat c;
    const std::size_t udl = r.Pos();
    if (r.Left() < 2) return c;
    const std::size_t udhl = r.At(udl + 1);
    if (udhl > r.Left() - 2) return c;  // a header cut off is not trusted
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
            // (TS 23.040 9.2.3.24.1); a message of one part has no place.
            if (total >= 2 && sequence >= 1 && sequence <= total) {
                c.reference = refOctets == 1 ? r.At(data) : r.At(data) << 8 | r.At(data + 1);
                c.sequence = sequence;
                c.total = total;
            }
        }
        ie = data + length;
    }
    return c;
}

// TP-UDL and TP-UD as far as the line holds them; where the text starts.
void ReadUserData(OctetReader& r, Deliver& d) noexcept {
    const std::size_t want = d.coding == Coding::kGsm7 ? (7u * d.udl + 7u) / 8u : d.udl;
    const std::size_t octets = want < r.Left() ? want : r.Left();
    r.Copy(r.Pos(), octets, d.userData);
    d.userDataOctets = octets;
    d.textStart = 0;
    if (!d.Udhi() || octets == 0) return;
    const std::size_t header = d.userData[0] + 1u;
    if (d.coding == Coding::kGsm7)
        d.textStart = FirstSeptetAfterHeader(header);
    else
        d.textStart = static_cast<int>(header < octets ? header : octets);
}

}  // namespace

Coding ClassifyDcs(std::uint8_t dcs) noexcept {
    switch (dcs >> 4) {
        case 0x0: case 0x1: case 0x2: case 0x3:   // general data coding
        case 0x4: case 0x5: case 0x6: case 0x7:   // automatic deletion group
            if (dcs & 0x20) return Coding::kNonText;  // compressed
            switch ((dcs >> 2) & 0x3) {
                case 0: return Coding::kGsm7;
                case 2: return Coding::kUcs2;
                default: return Coding::kNonText;  // 8-bit data, reserved
            }
        case 0xC: case 0xD: return Coding::kGsm7;  // message waiting, default alphabet
        case 0xE: return Coding::kUcs2;            // message waiting, UCS-2
        case 0xF: return (dcs & 0x04) ? Coding::kNonText : Coding::kGsm7;  // class group
        default: return Coding::kNonText;          // reserved groups 1000..1011
    }
}

int AddressDigits(const Address& a, char out[kMaxAddressDigits + 1]) noexcept {
    int n = 0;
    for (int k = 0; k < a.length && k < kMaxAddressDigits; ++k) {
        const std::uint8_t o = a.octets[k / 2];
        const int v = (k % 2 == 0) ? (o & 0xF) : (o >> 4);
        if (v == 0xF) continue;
        out[n++] = kSemiOctet[v];
    }
    out[n] = '\0';
    return n;
}

int AddressSeptets(const Address& a, std::uint8_t out[kMaxAddressDigits]) noexcept {
    const int length = a.length < kMaxAddressDigits ? a.length : kMaxAddressDigits;
    int count = 0;
    UnpackSeptets(a.octets, (length + 1u) / 2u, 0, length * 4 / 7, [&](std::uint8_t s) {
        out[count++] = s;
        return true;
    });
    if (count > 0 && out[count - 1] == 0) --count;
    return count;
}

DeliverRead ParseDeliver(const char* hex, std::size_t length, Deliver* out) noexcept {
    // Every field back to its initial value, but not the user data octets:
    // they are written as far as userDataOctets says.
    Deliver& d = *::new (static_cast<void*>(out)) Deliver;
    OctetReader r(hex, length);
    std::uint8_t sca = 0;  // the service-centre address, passed over
    if (!r.Read(sca) || !r.Skip(sca)) return DeliverRead::kCutBeforeCoding;
    if (!r.Read(d.firstOctet) || !r.Read(d.sender.length)) return DeliverRead::kCutBeforeCoding;
    if (d.sender.length > kMaxAddressDigits) return DeliverRead::kOverlongAddress;
    if (!ReadAddress(r, d.sender)) return DeliverRead::kCutBeforeCoding;
    if (!r.Read(d.pid) || !r.Read(d.dcs)) return DeliverRead::kCutBeforeCoding;
    d.coding = ClassifyDcs(d.dcs);
    if (!ReadTimeStamp(r, d.stamp)) return DeliverRead::kCutInTimeStamp;
    if (r.Left() == 0) return DeliverRead::kNoUserData;
    if (d.Udhi()) d.concat = FindConcat(r);
    r.Read(d.udl);
    ReadUserData(r, d);
    return DeliverRead::kWhole;
}

std::size_t UserDataHeaderLength(const std::uint8_t* ud, std::size_t n, bool* ports) noexcept {
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

bool OctetsFromHex(const char* hex, std::size_t length, std::uint8_t* out) noexcept {
    if (length % 2 != 0) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (Nibble(hex[i]) < 0) return false;
    for (std::size_t i = 0; i < length / 2; ++i)
        out[i] = static_cast<std::uint8_t>(Nibble(hex[2 * i]) << 4 | Nibble(hex[2 * i + 1]));
    return true;
}

}  // namespace vantor::sms
