// A decoder of the two TPDU types the modem model handles (3GPP TS 23.040
// clause 9.2.2): the SMS-DELIVER PDUs in its message store and the
// SMS-SUBMIT PDUs a client sends with AT+CMGS. It is the model's own and
// independent of the driver's codec, so the two can check each other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modem {

enum class Coding { kGsm7, kData8, kUcs2 };
const char* CodingName(Coding coding);  // "gsm7", "8bit", "ucs2"

// Alphabet of a TP-DCS value (TS 23.038 clause 4).
Coding CodingOfDcs(std::uint8_t dcs);

struct Address {
    std::string value;          // digits, or the text of an alphanumeric address
    std::uint8_t type = 0x81;   // type-of-address octet (0x91 international)
    // The address as AT commands show it: a '+' before an international number.
    std::string Display() const;
};

struct Pdu {
    bool submit = false;         // SMS-SUBMIT, else SMS-DELIVER
    Address smsc;                // empty when the PDU carries none
    std::size_t smsc_octets = 0; // the SMSC field including its length octet
    std::uint8_t first_octet = 0;
    std::uint8_t reference = 0;  // TP-MR (SUBMIT only)
    Address address;             // TP-OA (DELIVER) or TP-DA (SUBMIT)
    std::uint8_t pid = 0;
    std::uint8_t dcs = 0;
    Coding coding = Coding::kGsm7;
    std::string timestamp;       // TP-SCTS as "yy/MM/dd,hh:mm:ss+zz" (DELIVER only)
    std::uint8_t udl = 0;        // TP-UDL as given
    std::vector<std::uint8_t> user_data;  // TP-UD octets, header included
    std::vector<std::uint8_t> header;     // TP-UDH without its length octet
    std::vector<std::uint8_t> septets;    // GSM 7-bit body after the header
    std::string text;            // body as UTF-8 (8-bit data: hex digits)
    std::size_t tpdu_octets = 0; // octets after the SMSC field

    bool HasHeader() const { return (first_octet & 0x40) != 0; }
};

// The concatenation element of a user data header: 3GPP TS 23.040
// 9.2.3.24.1 (8-bit reference) or 9.2.3.24.8 (16-bit reference).
struct Concatenation {
    int reference = 0;
    int total = 0;
    int sequence = 0;  // 1 .. total
};
// The PDU's concatenation element when it has a valid one (a sequence of 0 or
// past the total makes the element void, as TS 23.040 says).
std::optional<Concatenation> FindConcatenation(const Pdu& pdu);

// The body octets after the user data header (UCS-2 and 8-bit data).
std::vector<std::uint8_t> BodyOctets(const Pdu& pdu);

// Decodes a PDU given as hexadecimal digits, SMSC field first. Returns nothing
// and sets `error` when the digits are not hex, the TPDU type is neither
// DELIVER nor SUBMIT, or a field runs past the end.
std::optional<Pdu> DecodePdu(std::string_view hex, std::string* error = nullptr);

}  // namespace modem
