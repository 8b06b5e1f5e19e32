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

// The pause before each read of the host's receive (Pacing::Receive).
inline constexpr std::uint32_t kReceivePauseMs = 500;

// Every complete line read, answer or not, is handed to the table of the
// modem's own lines the device gave the line (line.Unsolicited; see
// unsolicited.h), except a line inside a listed message.
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

struct Outcome {
    at::Verdict verdict = at::Verdict::kNotYet;
    bool written = false;     // the command (if any) went out whole
    bool echoFound = false;   // the command's echo came
    std::int32_t echoAt = 0;  // where the echo starts in the answer's bytes
};

// How the loop paces and bounds itself, by the kind of dialogue. The wait
// ends when the matcher decides, when the line has been silent for the reply
// time-out (restarted by every chunk; read afresh at every restart), or when
// the answer's limit has passed since the call. Whether the bound has passed
// is noted before each read, so a chunk read in the pass in which it passed
// is still taken.
class Pacing {
public:
    // An ordinary command and its answer: a read every kPollMs, the pass's
    // pause also after the read that completed the answer, and the kept
    // answer traced once at the end.
    static constexpr Pacing Command() noexcept {
        Pacing p;
        p.pauseAfterVerdict = true;
        return p;
    }
    // A command whose answer is read as it arrives: paced as Command, each
    // chunk traced as it comes, and the line allowed never less than
    // `quietMs` of silence (a modem that may think longer than the host's
    // time-out is waited for as long as it may take).
    static constexpr Pacing Listing(std::uint32_t quietMs) noexcept {
        Pacing p = Command();
        p.traceEachChunk = true;
        p.silenceFloorMs = quietMs;
        return p;
    }
    // A prompt: a read every kPollMs, taken at once, without the pass's
    // pause after it, and awaited for no less than `windowMs` of silence.
    static constexpr Pacing Prompt(std::uint32_t windowMs) noexcept {
        Pacing p;
        p.silenceFloorMs = windowMs;
        return p;
    }
    // The modem's verdict on what it was already given: every byte counts
    // (there is no echo to wait for), and silence does not end the wait,
    // only `limitMs` does.
    static constexpr Pacing Verdict(std::uint32_t limitMs) noexcept {
        Pacing p;
        p.gateOnEcho = false;
        p.silenceEnds = false;
        p.limitMs = limitMs;
        return p;
    }
    // The host's receive: kReceivePauseMs before every read, so its first
    // read comes that long after the call whatever the reply time-out.
    static constexpr Pacing Receive() noexcept {
        Pacing p;
        p.pauseMs = kReceivePauseMs;
        p.pauseBeforeRead = true;
        return p;
    }

private:
    friend Outcome Chat(Line& line, const link::Command& command, at::Matcher& matcher,
                        const Pacing& pacing, const Answer* answer) noexcept;
    constexpr Pacing() noexcept = default;

    std::uint32_t pauseMs = kPollMs;     // between reads
    bool pauseBeforeRead = false;        // else after the read
    bool pauseAfterVerdict = false;      // the pass's pause even after the matcher decided
    bool silenceEnds = true;             // else only the limit ends the wait
    std::uint32_t silenceFloorMs = 0;    // the least silence allowed, whatever the reply time-out
    std::uint32_t limitMs = kAnswerLimitMs;
    bool gateOnEcho = true;              // all but Verdict: see Chat
    bool traceEachChunk = false;         // "Rx: " per chunk, else the kept answer at the end
};

// Talks once: cleans the line, writes the command, and hands every byte that
// comes to `matcher` until it decides or the wait ends; `answer` (may be null)
// also keeps them.
//
// The echo rule: once the modem has been seen echoing (line.EchoSeen), an
// answer counts only after the echo of its own command (the modem answers in
// order, so what comes before the echo belongs to something earlier): the
// matcher sees nothing before it, and starts again at the echo if it saw
// bytes before (a Pacing::Verdict's matcher is not held back for an echo).
// A modem seen echoing that now ends an answer with OK and no echo
// has had its echo switched off: from then on answers count from the
// command on. The answer that taught this is not trusted (it may be a late
// one), so a change of echo costs at most one exchange.
Outcome Chat(Line& line, const Command& command, at::Matcher& matcher, const Pacing& pacing,
             const Answer* answer) noexcept;

}  // namespace vantor::link
