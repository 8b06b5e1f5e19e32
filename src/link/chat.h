// The chat engine: the one loop that talks to the modem. It writes a command
// on a clean line, reads what comes, applies the echo rule, and hands the
// answer to a matcher (at::Matcher) that says done, refused or not yet. Every
// dialogue with the modem (an ordinary command, a listing, the send prompt
// and the send verdict) is this loop with its own matcher and bounds.
#pragma once

#include <cstdint>

#include "at/answer.h"
#include "link/serial_port.h"

namespace vantor::link {

// The longest any one answer is waited for, counted from its command, whatever
// the line does: a line that never falls silent (a babbling modem, a floating
// RX wire) cannot hold the host's thread for longer.
inline constexpr std::uint32_t kAnswerLimitMs = 60000;

// The pause between two reads of an ordinary exchange.
inline constexpr std::uint32_t kPollMs = 10;

// Everything read from the line, answer or not, is watched for the modem's
// start-up line "^SYSSTART" (line.RestartSeen) and for its report of a full
// SIM store, "^SMGO: <mode>", which is traced with what to do.
//
// Reads and drops whatever is waiting on the line, at most kDrainLimit bytes,
// and returns the count. With `trace`, a run of dropped bytes is traced as
// "Discarded N bytes: ...".
inline constexpr std::uint32_t kDrainLimit = 65536;
std::uint32_t DrainLine(Line& line, bool trace) noexcept;

// What starts a chat: the command written first, or none (the answer to
// something already written is awaited).
struct Command {
    const std::uint8_t* bytes = nullptr;
    std::int32_t length = 0;
    const char* tracePrefix = "TX:";  // the trace line of the write
    std::uint32_t pauseMs = kPollMs;  // after the write, before the first read
};

// Where the answer's bytes are kept besides the matcher: a buffer of
// kAnswerSize bytes whose text stays NUL-terminated, and what happens when a
// chunk does not fit its 8191 bytes.
enum class Overflow {
    kEnd,         // the wait ends at once, the chunk is dropped
    kDropChunk,   // the chunk is dropped, the wait goes on
    kKeepNewest,  // the oldest bytes give way: what decides is at the end
};
struct Answer {
    std::uint8_t* bytes = nullptr;
    std::int32_t* length = nullptr;
    Overflow overflow = Overflow::kEnd;
    std::int32_t clear = 0;  // bytes zeroed once the command is written (a request in the buffer)
};

// How the loop paces and bounds itself. The wait ends when the matcher
// decides, when the line has been silent for the reply time-out (restarted
// by every chunk; read afresh at every restart), or when `limitMs` have
// passed since the call. Whether the bound has passed is noted before each
// read, so a chunk read in the pass in which it passed is still taken.
struct Pacing {
    std::uint32_t pauseMs = kPollMs;     // between reads
    bool pauseBeforeRead = false;        // else after the read
    bool pauseAfterVerdict = false;      // the pass's pause even after the matcher decided
    bool silenceEnds = true;             // else only the limit ends the wait
    // The silence allowed is the reply time-out, but never less than this:
    // a dialogue whose modem may think longer than the host's time-out
    // waits as long as the modem may take.
    std::uint32_t silenceFloorMs = 0;
    std::uint32_t limitMs = kAnswerLimitMs;
    bool gateOnEcho = true;              // see Chat
    bool traceEachChunk = false;         // "Rx: " per chunk, else the kept answer at the end
};

struct Outcome {
    at::Verdict verdict = at::Verdict::kNotYet;
    bool written = false;     // the command (if any) went out whole
    bool echoFound = false;   // the command's echo came
    std::int32_t echoAt = 0;  // where the echo starts in the answer's bytes
};

// Talks once: cleans the line, writes the command, and hands every byte that
// comes to `matcher` until it decides or the wait ends; `answer` (may be null)
// also keeps them.
//
// The echo rule: once the modem has been seen echoing (line.EchoSeen), an
// answer counts only after the echo of its own command (the modem answers in
// order, so what comes before the echo belongs to something earlier); with
// `gateOnEcho` the matcher sees nothing before it, and starts again at the
// echo if it saw bytes before. A modem seen echoing that now ends an answer
// with OK and no echo has had its echo switched off: from then on answers
// count from the command on. The answer that taught this is not trusted
// (it may be a late one), so a change of echo costs at most one exchange.
Outcome Chat(Line& line, const Command& command, at::Matcher& matcher, const Pacing& pacing,
             const Answer* answer) noexcept;

}  // namespace vantor::link
