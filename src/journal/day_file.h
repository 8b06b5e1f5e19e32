// Writing the journal's day files: whole lines appended to the file of their
// local day under one lock for the whole module (two device objects in one
// process never mix their lines), the folder created on first use with
// rights for administrators, SYSTEM and the driver's account only, the
// bounds applied, links refused, lines kept waiting while another program
// holds their file, and a folder that cannot be written traced once an hour.
// Nothing here reaches the host: a failure changes no result.
#pragma once

#include <cstddef>

#include "os/os.h"

namespace vantor::journal {

// Appends `length` bytes of whole lines to the file of the day of `day`,
// with one WriteFile. A new file starts with the byte-order mark and the
// header line. Lines whose file another program holds open wait and are
// written by a later call. False when the lines are lost.
bool AppendLines(const os::SystemTime& day, const char* lines, std::size_t length) noexcept;

// Writes the lines that wait for a file another program held, once a minute
// at the most; does nothing (and touches no file) when none wait.
void RetryWaitingLines() noexcept;

// What the writer remembers between calls (when it last pruned, when it last
// traced a failure, the lines that wait), forgotten as in a new process.
void ForgetWriterState() noexcept;

// The day number of a date (days since 1970-01-01), for the bounds.
int DayNumber(int year, int month, int day) noexcept;

// The rights a journal folder is created with (SDDL): full control for
// SYSTEM, the administrators and the account `sid` runs as, nothing
// inherited from above, passed on to the day files.
void FolderRights(const char* sid, char (&sddl)[160]) noexcept;

// How many bytes of lines wait at the most while their file is held open.
inline constexpr std::size_t kWaitingBytes = 128 * 1024;

}  // namespace vantor::journal
