// SMS-SUBMIT PDU as hexadecimal text (3GPP TS 23.040 9.2.2.2).
#pragma once

#include <cstdint>

namespace vantor::sms {

inline constexpr int kPduTextSize = 8192;

// Builds the PDU text for `number` and the body `part0` + `part1` (ANSI code
// page) into `pdu` (kPduTextSize bytes, NUL-terminated) and its length into
// `count`. codeMod nonzero: UCS-2; zero: GSM 7-bit, or UCS-2 when a character
// has no GSM mapping. Returns 1 when complete, 0 when the number is not a
// valid destination or the text would not fit.
int Makecode(const char* number, const char* part0, const char* part1, std::uint8_t codeMod,
             char* pdu, std::int32_t* count) noexcept;

// 1 when `number` is an optional '+' followed by 1..20 decimal digits.
int IsDialableNumber(const char* number) noexcept;

}  // namespace vantor::sms
