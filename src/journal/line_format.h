// The journal's file format: UTF-8 with a byte-order mark (Notepad on a
// Chinese Windows reads it right), one tab-separated line per event with CR
// LF at its end, a header line naming the columns (a spreadsheet opens it).
// Inside a field a tab, a line break and a backslash are written \t, \r, \n
// and \\, other control characters \xNN, so that every event stays one line.
// A field a spreadsheet would take for a quoted field, a formula, a number or
// a date (a text that starts with " = + - @, a phone number, a part "1/2")
// starts with the text mark, an apostrophe; so does one that starts with an
// apostrophe itself. A reader drops one leading apostrophe of each field to
// get the field back.
#pragma once

#include <cstddef>

#include "journal/event.h"

namespace vantor::journal {

// The byte-order mark and the header line, as a new day file starts.
extern const char kFileStart[];
extern const std::size_t kFileStartLength;

// The mark before a field that is text whatever it looks like. A
// spreadsheet shows a cell that starts with it as text, the mark included,
// and never as a formula or a number; a tab-separated reader (Python's csv,
// dialect excel-tab) keeps it as the field's first character; Notepad shows
// it plainly. A character nobody sees (a zero-width space) would do the same
// but stay invisible in every number copied out of the file.
inline constexpr char kTextMark = '\'';

// The longest line FormatLine writes: every field's bytes escaped (4 bytes
// for a control character).
inline constexpr std::size_t kMaxLineSize = 8 * 1024;

// The line of `event`, with its CR LF, into `out` (`size` bytes, NUL
// terminated). Returns its length, 0 when it does not fit.
std::size_t FormatLine(const Event& event, char* out, std::size_t size) noexcept;

// Texts into UTF-8 for an event's fields, into `out` (`size` bytes, NUL
// terminated, cut on a character). Returns the bytes written. From `count`
// UTF-16 units, a lone surrogate as U+FFFD; from ANSI code page text
// (GBK), a byte that is no text in the code page as U+FFFD.
std::size_t WideToUtf8(const char16_t* units, std::size_t count, char* out, std::size_t size) noexcept;
std::size_t AnsiToUtf8(const char* text, std::size_t length, char* out, std::size_t size) noexcept;

// journal-YYYY-MM-DD.txt for the day of `time`.
void DayFileName(const os::SystemTime& time, char (&name)[32]) noexcept;

}  // namespace vantor::journal
