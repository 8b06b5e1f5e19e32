// Hex text of 7-bit user data (3GPP TS 23.038 6.1.2.1.1 packing), for tests
// and benchmarks that build PDUs by hand. The characters are taken as their
// own septet codes: letters, digits, blank, CR, LF and + , : " / . = - have
// the same code in the GSM default alphabet.
#pragma once

#include <string>

namespace vantor::test {

inline std::string HexOctet(unsigned v) {
    static const char kHex[] = "0123456789ABCDEF";
    return {kHex[(v >> 4) & 15], kHex[v & 15]};
}

inline std::string Pack7Hex(const std::string& text) {
    std::string hex;
    unsigned acc = 0;
    int bits = 0;
    for (unsigned char c : text) {
        acc |= static_cast<unsigned>(c & 0x7F) << bits;
        bits += 7;
        while (bits >= 8) {
            hex += HexOctet(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) hex += HexOctet(acc & 0xFF);
    return hex;
}

// An SMS-DELIVER from the international number `sender` whose 7-bit body is
// `body` (characters whose GSM 7-bit code equals their ASCII code: letters,
// digits, space, CR, LF and + , : " / . = -).
inline std::string Deliver7(const std::string& sender, const std::string& body) {
    std::string pdu = "0004" + HexOctet(static_cast<unsigned>(sender.size())) + "91";
    std::string digits = sender + (sender.size() % 2 ? "F" : "");
    for (std::size_t i = 0; i < digits.size(); i += 2) pdu += {digits[i + 1], digits[i]};
    pdu += "0000" "52218012415023";  // 25/12/08 21:14:05 +08
    return pdu + HexOctet(static_cast<unsigned>(body.size())) + Pack7Hex(body);
}

}  // namespace vantor::test
