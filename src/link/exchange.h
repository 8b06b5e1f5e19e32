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

// 1 when `text` (NUL-terminated) holds what `mode` waits for; an unknown mode
// never completes.
int IsAnswerComplete(const char* text, std::int32_t length, std::int32_t mode) noexcept;

// Writes the request in `buffer` (*length bytes), then collects the answer
// into `buffer` until "OK\r\n" arrives or the line is silent for the reply
// time-out. 1 on "OK".
int Exchange(const Line& line, std::uint8_t* buffer, std::int32_t* length) noexcept;

// Writes `bytes` and traces them.
int Send(const Line& line, const std::uint8_t* bytes, std::int32_t length) noexcept;

// Collects an answer into `buffer` until `mode` completes or the line is
// silent for the reply time-out. 1 when it completed.
int Receive(const Line& line, std::uint8_t* buffer, std::int32_t* length,
            std::int32_t mode) noexcept;

// The link test: clears the line, sends "AT", and drains whatever comes back.
// 1 when at least one byte came.
int ProbeLine(os::Handle port) noexcept;

// Writes `command`, then reads into `answer` (kAnswerSize bytes, always
// NUL-terminated) until a whole second passes with nothing new queued.
// Returns the number of bytes read.
std::uint32_t ListUntilQuiet(os::Handle port, const char* command, std::uint8_t* answer) noexcept;

}  // namespace vantor::link
