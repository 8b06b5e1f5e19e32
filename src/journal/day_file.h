// Writing the journal's day files: whole lines appended to the file of their
// local day under one lock for the whole module (two device objects in one
// process never mix their lines), the folder created on first use, the
// bounds applied, and a folder that cannot be written traced once an hour.
// Nothing here reaches the host: a failure changes no result.
#pragma once

#include <cstddef>

#include "os/os.h"

namespace vantor::journal {

// Appends `length` bytes of whole lines to the file of the day of `day`,
// with one WriteFile. A new file starts with the byte-order mark and the
// header line. True when written, or when the journal is off.
bool AppendLines(const os::SystemTime& day, const char* lines, std::size_t length) noexcept;

// What the writer remembers between calls (when it last pruned, when it last
// traced a failure), forgotten as in a new process.
void ForgetWriterState() noexcept;

// The day number of a date (days since 1970-01-01), for the bounds.
int DayNumber(int year, int month, int day) noexcept;

}  // namespace vantor::journal
