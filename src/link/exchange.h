// Talking on the line: a command and its answer, a receive that waits for one
// of the completion patterns, the link test's probe, and the text listing's
// read that ends on a quiet line.
#pragma once

#include <cstdint>

#include "link/serial_port.h"

namespace vantor {

// What completes an answer in LinklevelReceive / IsAnswerComplete.
enum CompletionMode : std::int32_t {
    WaitOk = 0,           // "OK\r\n"
    WaitPrompt = 1,       // the '>' of the send prompt
    WaitSendResult = 2,   // "+CMGS" and "OK\r\n"
    WaitAny = 255,        // any byte
};

}  // namespace vantor

namespace vantor::link {

// The longest any one answer is waited for, counted from its command, whatever
// the line does: a line that never falls silent (a babbling modem, a floating
// RX wire) cannot hold the host's thread for longer.
inline constexpr std::uint32_t kAnswerLimitMs = 60000;

// Reads and drops whatever is waiting on the line, so that the next command's
// answer cannot be mistaken for a late one; traces "Discarded N bytes: ...".
// Reads at most kDiscardLimit bytes. Returns the number dropped.
inline constexpr std::uint32_t kDiscardLimit = 65536;
std::uint32_t CleanLine(os::Handle port) noexcept;

// Takes an answer as it arrives and says when its final result has come.
class AnswerSink {
public:
    enum Status { kMore = 0, kOk = 1, kFailed = -1 };
    virtual Status Take(const std::uint8_t* bytes, std::uint32_t length) noexcept = 0;

protected:
    ~AnswerSink() = default;
};

// 1 when `text` (NUL-terminated) holds what `mode` waits for; an unknown mode
// never completes.
int IsAnswerComplete(const char* text, std::int32_t length, std::int32_t mode) noexcept;

// Cleans the line, writes the request in `buffer` (*length bytes), then
// collects the answer into `buffer` until "OK\r\n" arrives after the
// command's echo, the line is silent for the reply time-out, or the answer
// limit is reached. 1 on "OK".
int Exchange(Line& line, std::uint8_t* buffer, std::int32_t* length) noexcept;

// Cleans the line, writes `request`, and hands `sink` every answer byte that
// follows the command's echo until the sink has seen the final result, the
// line is silent for the reply time-out or the answer limit is reached. An
// answer of any length passes through. 1 when the sink saw a final OK.
int ExchangeStream(Line& line, const std::uint8_t* request, std::int32_t length,
                   AnswerSink& sink) noexcept;

// Writes `bytes` and traces them.
int Send(const Line& line, const std::uint8_t* bytes, std::int32_t length) noexcept;

// Collects an answer into `buffer` until `mode` completes, the line is silent
// for the reply time-out or the answer limit is reached. 1 when it completed.
int Receive(const Line& line, std::uint8_t* buffer, std::int32_t* length,
            std::int32_t mode) noexcept;

// What a dialogue that waits for one answer has heard so far.
enum class Heard { kNothingYet, kAwaited, kRefused };

// Decides from the answer so far (NUL-terminated text of `length` bytes).
using HeardFn = Heard (*)(const char* text, std::int32_t length);

// How long Await waits: until the line has been silent for the reply time-out
// (restarted by every chunk), or only until `limitMs` have passed since the
// call, whatever the line does.
enum class AwaitBound { kSilence, kLimitOnly };

// Collects an answer into `buffer` (kAnswerSize bytes) as it arrives, polling
// every 10 ms, and returns as soon as `heard` decides. Returns kNothingYet
// when the bound ran out first. Within kAnswerSize the oldest bytes give way
// to new ones, so a long echo cannot push the result out.
Heard Await(const Line& line, std::uint8_t* buffer, std::int32_t* length, HeardFn heard,
            AwaitBound bound, std::uint32_t limitMs) noexcept;

// Notes that the modem echoes when `answer` holds the echo of `request` (for
// the dialogues that collect with Receive).
void NoteEcho(Line& line, const std::uint8_t* answer, std::int32_t length,
              const std::uint8_t* request, std::int32_t requestLength) noexcept;

// The link test: clears the line, sends "AT", and drains whatever comes back.
// 1 when at least one byte came.
int ProbeLine(os::Handle port) noexcept;

}  // namespace vantor::link
