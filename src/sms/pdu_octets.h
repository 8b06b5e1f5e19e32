// The octets of a PDU line as the modem writes it (3GPP TS 27.005 3.1 <pdu>:
// two hexadecimal characters an octet), and the TS 23.040 fields that the
// SMS-DELIVER and the SMS-STATUS-REPORT readers share: an address after its
// length octet, and a service-centre time stamp. Internal to those readers
// (sms/tpdu.cpp, sms/status_report.cpp).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sms/tpdu.h"

namespace vantor::sms::pdu {

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
inline constexpr NibbleTable kNibbles;

// A hex digit's value, -1 for any other character.
inline int Nibble(char c) { return kNibbles.v[static_cast<unsigned char>(c)]; }

// TS 23.040 9.1.2.3 semi-octet values; 0xF is the filler.
inline constexpr char kSemiOctet[] = "0123456789*#abc";

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

// An address field (TS 23.040 9.1.2.5) after its length octet, which the
// caller has read into a.length and held to kMaxAddressDigits: the type and
// the value. False when the value runs past the PDU.
inline bool ReadAddress(OctetReader& r, Address& a) noexcept {
    if (!r.Read(a.type)) return false;
    const std::size_t octets = (a.length + 1u) / 2u;
    if (octets > r.Left()) return false;
    for (std::size_t k = 0; k < octets; ++k) a.octets[k] = r.At(r.Pos() + k);
    r.Skip(octets);
    return true;
}

// A time stamp in the layout of TP-SCTS (TS 23.040 9.2.3.11; TP-DT of a
// status report is the same): six octets of date and time, then the time
// zone. False when the line ends before the zone; t.octets tells how far it
// reached.
inline bool ReadTimeStamp(OctetReader& r, TimeStamp& t) noexcept {
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

}  // namespace vantor::sms::pdu
