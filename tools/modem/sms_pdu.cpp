#include "modem/sms_pdu.h"

#include <cstdio>

#include "modem/gsm_charset.h"

namespace modem {
namespace {

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    bool Has(std::size_t n) const { return pos_ + n <= bytes_.size(); }
    std::uint8_t Byte() { return bytes_[pos_++]; }
    std::size_t pos() const { return pos_; }
    void Skip(std::size_t n) { pos_ += n; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t pos_ = 0;
};

std::string SemiOctets(const std::uint8_t* p, std::size_t digits) {
    static const char kDigits[] = "0123456789*#abc";
    std::string out;
    for (std::size_t i = 0; i < digits; ++i) {
        std::uint8_t nibble = (i % 2 == 0) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4);
        if (nibble == 0xF) break;  // filler of an odd count
        out.push_back(kDigits[nibble]);
    }
    return out;
}

// Unpacks `count` septets from `data`, starting `start_bit` bits in (TS 23.038
// 6.1.2.1.1: after a user data header the septets start on a septet boundary).
std::vector<std::uint8_t> Unpack(const std::vector<std::uint8_t>& data, std::size_t start_bit,
                                 std::size_t count) {
    std::vector<std::uint8_t> septets;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t bit = start_bit + i * 7;
        std::size_t byte = bit / 8;
        std::size_t shift = bit % 8;
        if (byte >= data.size()) break;
        unsigned value = data[byte] >> shift;
        if (shift > 1 && byte + 1 < data.size()) value |= data[byte + 1] << (8 - shift);
        septets.push_back(static_cast<std::uint8_t>(value & 0x7F));
    }
    return septets;
}

std::optional<Pdu> Fail(std::string* error, const char* what) {
    if (error) *error = what;
    return std::nullopt;
}

bool ReadAddress(Reader& r, bool digits_count, Address* out) {
    if (!r.Has(2)) return false;
    std::size_t length = r.Byte();
    out->type = r.Byte();
    // TP addresses count semi-octets; the SMSC (TS 24.011) counts octets.
    std::size_t octets = digits_count ? (length + 1) / 2 : (length > 0 ? length - 1 : 0);
    if (!r.Has(octets)) return false;
    const std::uint8_t* p = r.bytes().data() + r.pos();
    if ((out->type & 0x70) == 0x50) {
        std::vector<std::uint8_t> raw(p, p + octets);
        // An alphanumeric address counts the semi-octets its septets fill.
        std::size_t septets = digits_count ? length * 4 / 7 : octets * 8 / 7;
        out->value = ToUtf8(GsmToUnicode(Unpack(raw, 0, septets)));
    } else {
        out->value = SemiOctets(p, digits_count ? length : octets * 2);
    }
    r.Skip(octets);
    return true;
}

std::string Timestamp(const std::uint8_t* p) {
    auto swapped = [](std::uint8_t v) { return (v & 0x0F) * 10 + (v >> 4); };
    // Time zone: quarter hours in BCD with the sign in bit 3 of the low nibble.
    int zone = (p[6] & 0x07) * 10 + (p[6] >> 4);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d,%02d:%02d:%02d%c%02d", swapped(p[0]),
                  swapped(p[1]), swapped(p[2]), swapped(p[3]), swapped(p[4]), swapped(p[5]),
                  (p[6] & 0x08) ? '-' : '+', zone);
    return buffer;
}

}  // namespace

const char* CodingName(Coding coding) {
    switch (coding) {
        case Coding::kGsm7: return "gsm7";
        case Coding::kData8: return "8bit";
        case Coding::kUcs2: return "ucs2";
    }
    return "?";
}

Coding CodingOfDcs(std::uint8_t dcs) {
    std::uint8_t group = dcs >> 4;
    if (group <= 0x7) {  // general data coding, with or without automatic deletion
        switch ((dcs >> 2) & 0x3) {
            case 1: return Coding::kData8;
            case 2: return Coding::kUcs2;
            default: return Coding::kGsm7;
        }
    }
    if (group == 0xE) return Coding::kUcs2;
    if (group == 0xF) return (dcs & 0x04) ? Coding::kData8 : Coding::kGsm7;
    return Coding::kGsm7;  // message waiting groups 0xC, 0xD and the reserved ones
}

std::string Address::Display() const {
    if ((type & 0x70) == 0x10 && !value.empty() && value[0] != '+') return "+" + value;
    return value;
}

std::optional<Pdu> DecodePdu(std::string_view hex, std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (!HexToBytes(hex, &bytes)) return Fail(error, "not an even count of hex digits");
    Reader r(bytes);
    Pdu pdu;
    if (!r.Has(1)) return Fail(error, "empty");
    std::size_t smsc_length = bytes[0];
    if (smsc_length == 0) {
        r.Skip(1);
    } else if (!ReadAddress(r, false, &pdu.smsc)) {
        return Fail(error, "SMSC field too long");
    }
    pdu.smsc_octets = 1 + smsc_length;
    if (!r.Has(1)) return Fail(error, "no TPDU");
    pdu.tpdu_octets = bytes.size() - pdu.smsc_octets;
    pdu.first_octet = r.Byte();
    std::uint8_t mti = pdu.first_octet & 0x03;
    if (mti == 1) {
        pdu.submit = true;
        if (!r.Has(1)) return Fail(error, "truncated");
        pdu.reference = r.Byte();
    } else if (mti != 0) {
        return Fail(error, "neither SMS-DELIVER nor SMS-SUBMIT");
    }
    if (!ReadAddress(r, true, &pdu.address)) return Fail(error, "address truncated");
    if (!r.Has(2)) return Fail(error, "truncated");
    pdu.pid = r.Byte();
    pdu.dcs = r.Byte();
    pdu.coding = CodingOfDcs(pdu.dcs);
    if (pdu.submit) {
        // TP-VPF, TS 23.040 9.2.3.3: none, enhanced (7), relative (1), absolute (7).
        static const std::size_t kVpOctets[4] = {0, 7, 1, 7};
        std::size_t vp = kVpOctets[(pdu.first_octet >> 3) & 0x3];
        if (!r.Has(vp)) return Fail(error, "validity period truncated");
        r.Skip(vp);
    } else {
        if (!r.Has(7)) return Fail(error, "time stamp truncated");
        pdu.timestamp = Timestamp(bytes.data() + r.pos());
        r.Skip(7);
    }
    if (!r.Has(1)) return Fail(error, "no user data length");
    pdu.udl = r.Byte();
    pdu.user_data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(r.pos()), bytes.end());
    std::size_t needed = pdu.coding == Coding::kGsm7 ? (pdu.udl * 7 + 7) / 8 : pdu.udl;
    if (pdu.user_data.size() < needed) return Fail(error, "user data shorter than TP-UDL");
    pdu.user_data.resize(needed);

    std::size_t header_octets = 0;
    if (pdu.HasHeader() && !pdu.user_data.empty()) {
        header_octets = 1 + pdu.user_data[0];
        if (header_octets > pdu.user_data.size()) return Fail(error, "header too long");
        pdu.header.assign(pdu.user_data.begin() + 1,
                          pdu.user_data.begin() + static_cast<std::ptrdiff_t>(header_octets));
    }
    if (pdu.coding == Coding::kGsm7) {
        std::size_t header_septets = (header_octets * 8 + 6) / 7;
        std::size_t count = pdu.udl > header_septets ? pdu.udl - header_septets : 0;
        pdu.septets = Unpack(pdu.user_data, header_septets * 7, count);
        pdu.text = ToUtf8(GsmToUnicode(pdu.septets));
    } else {
        std::vector<std::uint8_t> body(pdu.user_data.begin() + static_cast<std::ptrdiff_t>(header_octets),
                                       pdu.user_data.end());
        pdu.text = pdu.coding == Coding::kUcs2 ? ToUtf8(Ucs2ToUnicode(body))
                                               : BytesToHex(body.data(), body.size());
    }
    return pdu;
}

std::optional<Concatenation> FindConcatenation(const Pdu& pdu) {
    std::optional<Concatenation> found;
    const std::vector<std::uint8_t>& h = pdu.header;
    for (std::size_t i = 0; i + 2 <= h.size();) {
        const std::uint8_t iei = h[i];
        const std::size_t length = h[i + 1];
        const std::size_t data = i + 2;
        if (data + length > h.size()) break;
        if (iei == 0x00 && length == 3) {
            found = Concatenation{h[data], h[data + 1], h[data + 2]};
        } else if (iei == 0x08 && length == 4) {
            found = Concatenation{h[data] << 8 | h[data + 1], h[data + 2], h[data + 3]};
        }
        i = data + length;
    }
    if (found && (found->sequence < 1 || found->sequence > found->total)) found.reset();
    return found;
}

std::vector<std::uint8_t> BodyOctets(const Pdu& pdu) {
    const std::size_t skip = pdu.HasHeader() && !pdu.user_data.empty() ? 1 + pdu.header.size() : 0;
    if (skip >= pdu.user_data.size()) return {};
    return std::vector<std::uint8_t>(pdu.user_data.begin() + static_cast<std::ptrdiff_t>(skip), pdu.user_data.end());
}

}  // namespace modem
