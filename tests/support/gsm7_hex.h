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

}  // namespace vantor::test
