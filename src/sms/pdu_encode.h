// SMS-SUBMIT PDU as hexadecimal text (3GPP TS 23.040 9.2.2.2), as one message
// or as the parts of a concatenated message (TS 23.040 9.2.3.24.1).
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

// --- a body converted once ---------------------------------------------------

struct SubmitBody;

// Makecode's PDU from a body SplitBody or SplitText converted: the whole body
// as one message, however long. 1 when complete, 0 when the number is not
// dialable, the body did not convert, or the user data length does not fit
// its octet.
int EncodeWhole(const char* number, const SubmitBody& body, char* pdu, std::int32_t* count) noexcept;

// --- concatenated messages -------------------------------------------------

// A single message holds 160 septets or 70 UTF-16 units; a part of a
// concatenated message loses 6 octets to its header: 153 septets, 67 units.
inline constexpr int kSingleSeptets = 160;
inline constexpr int kSingleUnits = 70;
inline constexpr int kPartSeptets = 153;
inline constexpr int kPartUnits = 67;
// The most parts a body of kBodySize - 2 bytes can need: 510 ASCII bytes sent
// as UCS-2 are 510 units, 8 parts of 67. (In 7-bit the worst is 510 escape
// pairs, 7 parts of 152 septets.)
inline constexpr int kMaxParts = 8;

// A body converted once for sending and cut into parts. Fixed size, no
// allocation: it lives on the caller's stack for the whole send.
struct SubmitBody {
    bool gsm = false;   // GSM 7-bit default alphabet, else UCS-2
    int length = 0;     // septets (gsm) or UTF-16 units
    int parts = 0;      // 1: a single message, exactly as Makecode builds it
    // Ask the service centre for a status report (TP-SRR, TS 23.040
    // 9.2.3.5); Makecode never does.
    bool statusReport = false;
    // Part k holds septets or units [start[k], start[k + 1]).
    std::int16_t start[kMaxParts + 1];
    char16_t units[kBodySize];
    std::uint8_t septets[2 * kBodySize];
};

// Converts `part0` + `part1` as Makecode does and cuts the result into parts:
// none when it fits a single message, else parts of at most 153 septets (an
// escape pair is never split) or 67 units (a surrogate pair is never split).
// Returns the number of parts, 0 when the body does not convert.
int SplitBody(const char* part0, const char* part1, std::uint8_t codeMod, SubmitBody* body) noexcept;
// The same for a body already joined (`length` bytes, at most kBodySize - 2).
int SplitText(const char* text, int length, std::uint8_t codeMod, SubmitBody* body) noexcept;

// The cut of SplitBody for a body whose septets or units are already in place
// (gsm and length set): fills start[] and parts and returns parts, 0 when the
// length is out of range.
int CutParts(SubmitBody* body) noexcept;

// Builds the PDU text of part `k` (0-based) of a body split by SplitBody, for
// `number`, into `pdu` (kPduTextSize bytes) and its length into `count`. A
// one-part body gives Makecode's PDU. Otherwise the first octet has TP-UDHI
// set (0x51) and the user data starts with the header 05 00 03 <reference>
// <parts> <k + 1>; 7-bit text starts on the septet boundary after it. Every
// part of one message, and every attempt of a part, must use the same
// `reference`. Returns 1 when complete, 0 when the number is not dialable or
// k is not a part of the body.
int EncodePart(const char* number, const SubmitBody& body, int k, std::uint8_t reference, char* pdu,
               std::int32_t* count) noexcept;

}  // namespace vantor::sms
