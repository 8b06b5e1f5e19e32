// The SMS-DELIVER of a PDU-mode listing entry (3GPP TS 27.005 4.1 <pdu>: the
// service-centre address, then the TPDU of TS 23.040 9.2.2.1) read into its
// fields. Bytes in, plain values out: no characters are converted here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor::sms {

// An address field of 32 or more semi-octets is taken for no address.
inline constexpr int kMaxAddressDigits = 31;
inline constexpr int kMaxAddressOctets = (kMaxAddressDigits + 1) / 2;
// TP-UDL is one octet: at most 255 octets (UCS-2) or 255 septets (7-bit).
inline constexpr std::size_t kMaxUserData = 255;

// TS 23.038 clause 4: what the TP-DCS octet says the user data is.
enum class Coding { kGsm7, kUcs2, kNonText };
Coding ClassifyDcs(std::uint8_t dcs) noexcept;

// An address field (TS 23.040 9.1.2.5): the TP-OA of an SMS-DELIVER, the
// TP-RA of an SMS-STATUS-REPORT.
struct Address {
    std::uint8_t length = 0;  // address length: useful semi-octets
    std::uint8_t type = 0;    // type of address: type of number, numbering plan
    std::uint8_t octets[kMaxAddressOctets] = {};  // the value, (length + 1) / 2 octets

    // Type of number 101: GSM 7-bit characters packed in the value.
    bool Alphanumeric() const noexcept { return ((type >> 4) & 0x7) == 0x5; }
};

// The semi-octet digits of an address (TS 23.040 9.1.2.3: 0-9, '*', '#',
// 'a', 'b', 'c'; the filler 0xF is left out) into `out`, NUL-terminated.
// Returns the digit count.
int AddressDigits(const Address& a, char out[kMaxAddressDigits + 1]) noexcept;

// The septets of an alphanumeric address: as many as its semi-octets hold
// whole, less a last septet 0 (the padding of a length given in whole
// octets). Returns the septet count.
int AddressSeptets(const Address& a, std::uint8_t out[kMaxAddressDigits]) noexcept;

// TP-SCTS (TS 23.040 9.2.3.11), or a status report's TP-DT, which is laid
// out alike (9.2.3.13).
struct TimeStamp {
    // Year, month, day, hour, minute, second, two digits each in reading
    // order (each octet's semi-octets swapped back), as the PDU line writes
    // them: a semi-octet above 9 stays the hex digit it was written as.
    char digits[12] = {};
    int octets = 0;        // how many of those six octets the line holds
    bool hasZone = false;  // the seventh octet, the time zone, is there
    int zone = 0;          // the time zone: quarters of an hour from GMT
};

// A whole time stamp (six octets of decimal digits and its zone) as
// seconds since 2000-01-01 00:00:00 UTC; -1 when it is not whole.
std::int64_t SecondsOf(const TimeStamp& t) noexcept;

// The place of a part of a concatenated message (TS 23.040 9.2.3.24.1 with
// an 8-bit reference, 9.2.3.24.8 with a 16-bit one). total is 0 when the
// message shows no place: no such element, or only ones with a sequence of
// 0 or past the total, or a total below 2.
struct Concat {
    int reference = -1;
    int sequence = 0;
    int total = 0;
};

struct Deliver {
    std::uint8_t firstOctet = 0;  // TP-MTI, TP-MMS, TP-SRI, TP-UDHI, TP-RP
    Address sender;               // TP-OA
    std::uint8_t pid = 0;         // TP-PID
    std::uint8_t dcs = 0;         // TP-DCS
    Coding coding = Coding::kNonText;
    TimeStamp stamp;              // TP-SCTS
    std::uint8_t udl = 0;         // TP-UDL: septets (7-bit) or octets
    Concat concat;                // from the user data header
    // TP-UD as far as the line holds it, at most the octets TP-UDL covers;
    // only the first userDataOctets octets are set.
    std::size_t userDataOctets = 0;
    std::uint8_t userData[kMaxUserData];
    // Where the text starts, past a user data header: 7-bit, the first
    // septet of text (the header and its fill bits end on a septet
    // boundary); otherwise the first octet of text (userDataOctets when
    // the header leaves none).
    int textStart = 0;

    bool Udhi() const noexcept { return (firstOctet & 0x40) != 0; }  // TP-UDHI
};

// How far a PDU line could be read. The fields of each stage are set only
// when the line reaches it.
enum class DeliverRead {
    kWhole,             // through TP-UDL (the user data may fall short of it)
    kNoUserData,        // ends after TP-SCTS: no TP-UDL
    kCutInTimeStamp,    // ends inside TP-SCTS (stamp.octets of it are there)
    kOverlongAddress,   // TP-OA claims more than kMaxAddressDigits semi-octets
    kCutBeforeCoding,   // ends before TP-PID and TP-DCS are whole
};

// Reads the PDU line [hex, hex + length): the run of hexadecimal digits it
// starts with, two per octet (upper or lower case), so a stray character
// ends the PDU rather than being read as data. Never reads beyond
// hex[length - 1].
//
// The concatenation place is looked for only with TP-UDHI, in the header as
// far as the line holds octets after TP-UDL; a header the line cuts off is
// not trusted.
DeliverRead ParseDeliver(const char* hex, std::size_t length, Deliver* out) noexcept;

// The first septet after a user data header of `headerOctets` octets (its
// length octet included) and its fill bits (TS 23.040 9.2.3.24).
constexpr int FirstSeptetAfterHeader(std::size_t headerOctets) noexcept {
    return static_cast<int>((headerOctets * 8u + 6u) / 7u);
}

// The length of a user data header at the start of `n` octets, its length
// octet included, when its information elements fill it exactly and octets
// follow it; 0 when the octets do not start with one. `ports` tells whether
// it addresses an application port (TS 23.040 9.2.3.24.3, .4): data for a
// program, not text for a person.
std::size_t UserDataHeaderLength(const std::uint8_t* ud, std::size_t n, bool* ports) noexcept;

// `length` hex digits (upper or lower case) into length / 2 octets. False,
// with nothing written, when a character is not a hex digit or the length is
// odd.
bool OctetsFromHex(const char* hex, std::size_t length, std::uint8_t* out) noexcept;

}  // namespace vantor::sms
