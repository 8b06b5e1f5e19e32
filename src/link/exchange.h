// The exchanges the driver object offers by name: an ordinary command and its
// answer, a receive that waits for one of the completion patterns, a plain
// write, and the link test's probe. Each is the chat engine (chat.h) with the
// pacing and buffer rules the host has always seen.
#pragma once

#include <cstdint>

#include "link/chat.h"

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

// Cleans the line, writes the request in `buffer` (*length bytes), then
// collects the answer into `buffer` until an OK line arrives after the
// command's echo, the line is silent for the reply time-out, or the answer
// limit is reached. 1 on OK; the answer then starts at the echo.
int Exchange(Line& line, std::uint8_t* buffer, std::int32_t* length) noexcept;

// Writes `bytes` and traces them.
int Send(Line& line, const std::uint8_t* bytes, std::int32_t length) noexcept;

// Collects an answer into `buffer` until `mode` completes or the line is
// silent for the reply time-out, reading every 500 ms. 1 when it completed.
int Receive(Line& line, std::uint8_t* buffer, std::int32_t* length, std::int32_t mode) noexcept;

// The link test: clears the line, sends "AT", and drains whatever comes back.
// 1 when at least one byte came.
int ProbeLine(Line& line) noexcept;

}  // namespace vantor::link
