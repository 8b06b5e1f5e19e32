// The answers the line still owes. The modem answers the commands it hears in
// order, each with one final result (ITU-T V.25ter 5.7.1; AT+CMGS with its
// verdict, 3GPP TS 27.005 3.5.1). A dialogue that stops waiting before its
// final result has come leaves that result owed: until it has come, the
// first final result read is the owed one, not the answer of whatever the
// driver wrote since, and a message's "+CMGS: <mr>" read then is that
// message's late verdict.
#pragma once

#include <cstdint>

#include "at/answer.h"

namespace vantor::link {

struct Line;

// An owed message verdict gives way after this long (a network that never
// answers), an ordinary owed result after the answer limit of its command.
inline constexpr std::uint32_t kOwedVerdictLimitMs = 10 * 60 * 1000;

struct OwedAnswers {
    std::uint8_t results = 0;   // final results still to come
    bool verdict = false;       // the oldest of them is a message's verdict
    std::uint32_t since = 0;    // tick count when the last one was given up
    int reference = -1;         // "+CMGS: <mr>" read for the owed verdict
    bool heard = false;         // an owed result came since the last was given up
    bool prompted = false;      // the last thing said is a "> " prompt: an AT+CMGS
                                // given up on waits for its message
    at::LineSplitter lines;
};

// The verdict on a message that came after its dialogue had given up.
struct LateVerdict {
    bool came = false;
    bool sent = false;          // "+CMGS: <mr>" and OK; else refused
    int reference = -1;         // <mr>, -1 when none
    at::Refusal refusal;        // what a refusal said
    std::uint32_t since = 0;    // tick count when the dialogue gave up
    std::uint32_t at = 0;       // tick count when it came
};

// The dialogue gave up on its command's final result; `verdict`: it is the
// verdict on a message that went out.
void Owe(Line& line, bool verdict) noexcept;

// The modem has shown that it is past everything owed (it echoed a later
// command, or restarted): nothing more is owed.
void Forgive(Line& line) noexcept;

// Reads the first `n` bytes that came as far as they pay what is owed, and
// returns how many of them did (all of them while something is still owed
// at their end). A message's verdict is kept in line.Late.
std::uint32_t PayOwed(Line& line, const std::uint8_t* bytes, std::uint32_t n) noexcept;

}  // namespace vantor::link
