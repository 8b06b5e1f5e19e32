// SMS-SUBMIT PDU as hexadecimal text (3GPP TS 23.040 9.2.2.2).
#pragma once

#include <cstdint>

namespace vantor::sms {

inline constexpr int kPduTextSize = 8192;
inline constexpr int kBodySize = 512;        // work area of the joined body (2 x 255 bytes + NUL)
inline constexpr int kMaxNumberDigits = 20;  // TS 23.040 9.1.2.5: 10 octets of digits

// Builds the PDU text for `number` and the body `part0` + `part1` (ANSI code
// page, each at most 255 bytes) into `pdu` (kPduTextSize bytes, NUL-terminated)
// and its length into `count`. codeMod nonzero: UCS-2; zero: GSM 7-bit, or
// UCS-2 when a character has no GSM mapping. Returns 1 when complete, 0 when
// the number is not dialable, the body does not convert, or the user data
// length does not fit its octet.
int Makecode(const char* number, const char* part0, const char* part1, std::uint8_t codeMod,
             char* pdu, std::int32_t* count) noexcept;

// 1 when `number` is an optional '+' followed by 1..20 decimal digits.
int IsDialableNumber(const char* number) noexcept;

// Joins part0 and part1 (each cut at 255 bytes) into body[kBodySize]; returns
// the byte length.
int JoinBody(const char* part0, const char* part1, char body[kBodySize]) noexcept;

}  // namespace vantor::sms
