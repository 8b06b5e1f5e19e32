// SMS-DELIVER fields: the TS 23.040 9.2.2.1 layout after the service-centre
// address, TS 23.038 clause 4 data coding groups, and the user data header
// (TS 23.040 9.2.3.24).
#include "sms/tpdu.h"

#include <new>

#include "sms/gsm_alphabet.h"
#include "sms/pdu_octets.h"

namespace vantor::sms {

namespace {

using pdu::Nibble;
using pdu::OctetReader;
using pdu::ReadAddress;
using pdu::ReadTimeStamp;

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
        out[n++] = pdu::kSemiOctet[v];
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

std::int64_t SecondsOf(const TimeStamp& t) noexcept {
    if (t.octets < 6 || !t.hasZone) return -1;
    int v[6];
    for (int k = 0; k < 6; ++k) {
        const char hi = t.digits[2 * k];
        const char lo = t.digits[2 * k + 1];
        if (hi < '0' || hi > '9' || lo < '0' || lo > '9') return -1;
        v[k] = (hi - '0') * 10 + (lo - '0');
    }
    const int month = v[1];
    const int day = v[2];
    if (month < 1 || month > 12 || day < 1 || day > 31 || v[3] > 23 || v[4] > 59 || v[5] > 59) return -1;
    // Days since 2000-01-01: days_from_civil (H. Hinnant), whose day 0 is
    // 1970-01-01, less the 10957 days to 2000. Years 2000-2099 only.
    const int y = 2000 + v[0] - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468 - 10957;
    return days * 86400 + v[3] * 3600 + v[4] * 60 + v[5] - static_cast<std::int64_t>(t.zone) * 15 * 60;
}

}  // namespace vantor::sms
