// The lines a modem says unasked (its start-up line, its reports). The link
// knows none of them: the device that knows its modem gives the line a table
// of the lines to watch for and what each means, and the chat engine (and
// DrainLine) hands every complete line it reads to that table, answer or
// not, except a line inside a listed message: that is a sender's text,
// whatever it spells.
#pragma once

#include <cstddef>

namespace vantor::link {

struct Line;

// One line watched for: the whole line `text`, or with `prefix` any line
// that starts with it. `handle` gets the table's owner, the line it came
// on, and the line as read (without its CR LF; a line longer than a status
// report's PDU line is cut).
struct UnsolicitedRow {
    const char* text;
    bool prefix;
    void (*handle)(void* owner, Line& line, const char* text, std::size_t length) noexcept;
};

// The rows a device watches for, and the owner their handlers are called
// with. Empty by default: nothing is watched. A line is handed to the first
// row it matches.
struct UnsolicitedTable {
    const UnsolicitedRow* rows = nullptr;
    std::size_t count = 0;
    void* owner = nullptr;
};

}  // namespace vantor::link
