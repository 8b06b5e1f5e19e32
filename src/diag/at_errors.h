// Meanings of the numeric error results of the SMS and phone commands:
// "+CMS ERROR: <n>" (3GPP TS 27.005 3.2.5) and "+CME ERROR: <n>" (3GPP TS
// 27.007 9.2), with the TC35's own codes, so a trace says what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>

#include "at/answer.h"

namespace vantor {

enum class AtErrorKind { kCms, kCme };

// The meaning of code `n`, or nullptr when the code has none listed.
const char* AtErrorMeaning(AtErrorKind kind, int n) noexcept;

// A refusal's code as the modem wrote it ("+CMS ERROR: 42") into `code`,
// and its meaning ("congestion", nullptr when none is listed). False, with
// `code` empty, for a refusal without a numeric code.
bool DescribeRefusal(const at::Refusal& refusal, char (&code)[32], const char** meaning) noexcept;

// Copies `line` (`length` bytes, no line end) into `out` (`size` bytes,
// NUL-terminated) and, when it is a numeric "+CMS ERROR: n" or "+CME ERROR: n"
// with a known meaning, appends " (meaning)": "+CMS ERROR: 512 (user abort)".
// A line cut to fit keeps no half annotation. Returns the length written.
std::size_t AnnotateAnswerLine(const char* line, std::size_t length, char* out, std::size_t size) noexcept;

// One trace line for every numeric +CMS / +CME ERROR line in an answer,
// annotated as above. Answers without one trace nothing.
void TraceErrorMeanings(const std::uint8_t* answer, std::size_t length) noexcept;

}  // namespace vantor
