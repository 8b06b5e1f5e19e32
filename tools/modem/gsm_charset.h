// The GSM 7-bit default alphabet and its extension table (3GPP TS 23.038
// clause 6.2.1), UCS-2, and UTF-8 output, as the modem model needs them to
// turn message bodies into readable text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace modem {

// Septets of the default alphabet (0x1B escapes into the extension table) to
// Unicode code points. An escape followed by a code the extension table does
// not define yields the character of the main table (TS 23.038 6.2.1.1).
std::u32string GsmToUnicode(const std::vector<std::uint8_t>& septets);

// UCS-2 octets, high byte first, to code points. Surrogate pairs are joined;
// an odd trailing octet is ignored.
std::u32string Ucs2ToUnicode(const std::vector<std::uint8_t>& octets);

std::string ToUtf8(std::u32string_view text);

// Code points as UCS-2 hexadecimal digits (four per unit, upper case), the
// form the modem uses for strings when the TE character set is "UCS2".
std::string ToUcs2Hex(std::u32string_view text);

// Hexadecimal digits to octets; false on an odd count or a non-hex character.
bool HexToBytes(std::string_view hex, std::vector<std::uint8_t>* out);
std::string BytesToHex(const std::uint8_t* bytes, std::size_t length);

}  // namespace modem
