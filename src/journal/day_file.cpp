#include "journal/day_file.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "diag/trace.h"
#include "journal/event.h"
#include "journal/line_format.h"
#include "journal/settings.h"
#include "os/lock_guard.h"
#include "os/os.h"
#include "os/unique_handle.h"

namespace vantor::journal {
namespace {

constexpr std::uint32_t kFailureTraceIntervalMs = 60 * 60 * 1000;
// Lines that wait are tried again with the next lines, or after this long
// when no new line comes.
constexpr std::uint32_t kRetryIntervalMs = 60 * 1000;
// Day files the bounds look at: over ten years of them.
constexpr int kMaxDayFiles = 4000;
constexpr std::uint64_t kMegabyte = 1024 * 1024;

struct DayFile {
    int day;
    std::uint64_t size;
};

// A run of waiting lines of one day file; its bytes follow it in the
// waiting buffer. A run of the journal's own notes is not held to the day's
// bound.
struct Run {
    os::SystemTime day;
    std::uint32_t length;
    bool notes;
};

// Everything the module's device objects share, under `lock`.
struct WriterState {
    os::SrwLock lock;
    bool failing = false;
    bool failureTraced = false;
    std::uint32_t failureTracedAt = 0;
    unsigned long linesLost = 0;
    // Lines whose file another program held open, in the order they came,
    // and those that found no room among them.
    char waiting[kWaitingBytes];
    std::size_t waitingUsed = 0;
    std::atomic<bool> linesWait{false};
    std::uint32_t retriedAt = 0;
    unsigned long overflowed = 0;
    // The day whose file reached its bound, the time of its last line not
    // journaled, and how many were not.
    int fullDay = -1;
    os::SystemTime fullTime{};
    unsigned long beyondBound = 0;
    // When the bounds were last applied: the day, the bounds, and the bytes
    // the folder held then plus those written since. They are applied again
    // on another day, with other bounds, or when the folder grows past
    // `pruneAbove`.
    int prunedDay = -1;
    std::uint32_t daysAtPrune = 0;
    std::uint32_t megabytesAtPrune = 0;
    std::uint64_t size = 0;
    std::uint64_t pruneAbove = 0;
    DayFile files[kMaxDayFiles];
};

WriterState& State() noexcept {
    static WriterState state;
    return state;
}

const char* ErrorName(std::uint32_t error) noexcept {
    switch (error) {
        case os::kErrorFileNotFound: return "file not found";
        case os::kErrorPathNotFound: return "folder not found";
        case os::kErrorAccessDenied: return "access denied";
        case os::kErrorDiskFull: return "disk full";
        case os::kErrorStoppedOnSymlink: return "a link to elsewhere, not followed";
        default: return "system error";
    }
}

// The first failure, and then one an hour, is traced; the lines of the
// meantime are counted.
void Failed(const char* path, std::uint32_t error, std::size_t lines) noexcept {
    WriterState& s = State();
    s.linesLost += static_cast<unsigned long>(lines);
    s.failing = true;
    const std::uint32_t now = os::GetTickCount();
    if (s.failureTraced && now - s.failureTracedAt < kFailureTraceIntervalMs) return;
    s.failureTraced = true;
    s.failureTracedAt = now;
    Trace("Journal: cannot write %s (error %u, %s); %lu line(s) not journaled so far; said again in "
          "an hour at the most\n",
          path, static_cast<unsigned>(error), ErrorName(error), s.linesLost);
}

void Recovered(const char* path) noexcept {
    WriterState& s = State();
    if (!s.failing) return;
    Trace("Journal: writing to %s again; %lu line(s) could not be journaled\n", path, s.linesLost);
    s.failing = false;
    s.failureTraced = false;
    s.linesLost = 0;
}

std::size_t CountLines(const char* bytes, std::size_t length) noexcept {
    return static_cast<std::size_t>(std::count(bytes, bytes + length, '\n'));
}

bool IsLink(const char* path) noexcept {
    const std::uint32_t attributes = os::GetFileAttributesA(path);
    return attributes != os::kInvalidFileAttributes && (attributes & os::kFileAttributeReparsePoint) != 0;
}

// Creates the folder and those above it that are missing, each with the
// journal's rights. The drive (or a \\server\share) is taken as there.
void CreateFolders(const char* folder) noexcept {
    char sid[192] = {};
    char rights[160];
    FolderRights(os::GetCurrentUserSid(sid, sizeof sid) != 0 ? sid : nullptr, rights);
    char path[os::kMaxPath] = {};
    const std::size_t length = strnlen(folder, sizeof path - 1);
    std::memcpy(path, folder, length);
    std::size_t start = 0;
    if (length >= 2 && path[0] == '\\' && path[1] == '\\') {
        // Past \\server\share\.
        int slashes = 0;
        for (start = 2; start < length && slashes < 2; ++start) slashes += path[start] == '\\';
    }
    for (std::size_t i = start + 1; i <= length; ++i) {
        if (i < length && path[i] != '\\' && path[i] != '/') continue;
        const char kept = path[i];
        path[i] = '\0';
        if (!(i == 2 && path[1] == ':')) os::CreateDirectoryA(path, rights);
        path[i] = kept;
    }
}

// The folder, or (the default folder) the one above it that the driver
// made too, when it is a link: whoever made it first would decide where the
// journal goes and what the bounds delete. Null when neither is.
const char* LinkedFolder(const Settings& settings, char (&parent)[os::kMaxPath]) noexcept {
    if (IsLink(settings.folder)) return settings.folder;
    if (settings.chosen) return nullptr;
    std::snprintf(parent, sizeof parent, "%s", settings.folder);
    char* slash = std::strrchr(parent, '\\');
    if (slash == nullptr) return nullptr;
    *slash = '\0';
    return IsLink(parent) ? parent : nullptr;
}

void PathOf(const Settings& settings, const os::SystemTime& day, char (&path)[os::kMaxPath + 40]) noexcept {
    char name[32];
    DayFileName(day, name);
    std::snprintf(path, sizeof path, "%s\\%s", settings.folder, name);
}

// "journal-YYYY-MM-DD.txt": its day number, or -1.
int DayOfName(const char* name) noexcept {
    const std::size_t prefix = sizeof kFilePrefix - 1;
    if (std::strncmp(name, kFilePrefix, prefix) != 0) return -1;
    const char* d = name + prefix;
    for (int i = 0; i < 10; ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? d[i] != '-' : (d[i] < '0' || d[i] > '9')) return -1;
    }
    if (std::strcmp(d + 10, kFileSuffix) != 0) return -1;
    const int year = (d[0] - '0') * 1000 + (d[1] - '0') * 100 + (d[2] - '0') * 10 + (d[3] - '0');
    const int month = (d[5] - '0') * 10 + (d[6] - '0');
    const int day = (d[8] - '0') * 10 + (d[9] - '0');
    if (month < 1 || month > 12 || day < 1 || day > 31) return -1;
    return DayNumber(year, month, day);
}

// Deletes the file of day number `day` (civil_from_days, H. Hinnant, gives
// its name back).
void Remove(const char* folder, int day) noexcept {
    const int z = day + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int d = doy - (153 * mp + 2) / 5 + 1;
    const int m = mp < 10 ? mp + 3 : mp - 9;
    const int y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char path[os::kMaxPath + 40];
    std::snprintf(path, sizeof path, "%s\\%s%04d-%02d-%02d%s", folder, kFilePrefix, y, m, d, kFileSuffix);
    os::DeleteFileA(path);
}

// Removes day files more than `days` days old, then the oldest while all
// of them together exceed the size limit. Today's file stays, and so do
// files dated after today: a clock that was set back leaves them, and they
// are neither counted nor removed until the clock has passed them again.
//
// The age is measured from today when the newest earlier day file is at
// most a day old. When it is older, the clock jumped ahead (a bad clock, a
// mistyped date) or the journal was silent for days: the age is measured
// from that newest file, so that one wrong reading removes nothing the
// bounds of the day before kept; on a real day after a pause the next day's
// pruning catches up.
void Prune(const Settings& settings, int today) noexcept {
    WriterState& s = State();
    char pattern[os::kMaxPath + 40];
    std::snprintf(pattern, sizeof pattern, "%s\\%s\?\?\?\?-\?\?-\?\?%s", settings.folder, kFilePrefix,
                  kFileSuffix);
    os::FindData found{};
    int count = 0;
    {
        const os::UniqueFind find(os::FindFirstFileA(pattern, &found));
        if (find.Valid()) {
            do {
                if ((found.dwFileAttributes &
                     (os::kFileAttributeDirectory | os::kFileAttributeReparsePoint)) != 0)
                    continue;
                const int day = DayOfName(found.cFileName);
                if (day < 0 || day > today || count >= kMaxDayFiles) continue;
                s.files[count++] =
                    DayFile{day, (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow};
            } while (os::FindNextFileA(find.Get(), &found) != 0);
        }
    }
    std::sort(s.files, s.files + count, [](const DayFile& a, const DayFile& b) { return a.day < b.day; });
    int newestBefore = -1;
    for (int i = 0; i < count; ++i)
        if (s.files[i].day < today) newestBefore = s.files[i].day;
    const int from = newestBefore < 0 || today - newestBefore <= 1 ? today : newestBefore;
    const std::uint64_t limit = std::uint64_t{settings.megabytes} * kMegabyte;
    std::uint64_t total = 0;
    for (int i = 0; i < count; ++i) total += s.files[i].size;
    for (int i = 0; i < count; ++i) {
        const DayFile& f = s.files[i];
        if (f.day >= today) break;
        const bool tooOld = from - f.day > static_cast<int>(settings.days);
        if (!tooOld && total <= limit) break;
        Remove(settings.folder, f.day);
        total -= f.size;
    }
    s.prunedDay = today;
    s.daysAtPrune = settings.days;
    s.megabytesAtPrune = settings.megabytes;
    s.size = total;
    // Today's file alone beyond the limit: not looked at again for every line.
    s.pruneAbove = total > limit ? total + limit / 16 : limit;
}

// The bytes of a day's file beyond which no line is written: the day's
// bound, never more than the bound of all the files.
std::uint64_t DayBound(const Settings& settings) noexcept {
    return std::uint64_t{std::min(settings.dayMegabytes, settings.megabytes)} * kMegabyte;
}

enum class Outcome { kWritten, kHeld, kFailed };

// Appends a run of lines to the file of `day`: all of them, or as many whole
// lines as the day's bound leaves room for (the journal's notes are not held
// to it). kHeld when another program holds the file open against writing.
Outcome WriteRun(const Settings& settings, const os::SystemTime& day, const char* lines,
                 std::size_t length, bool notes) noexcept {
    WriterState& s = State();
    char path[os::kMaxPath + 40];
    PathOf(settings, day, path);
    char parent[os::kMaxPath];
    if (const char* linked = LinkedFolder(settings, parent)) {
        Failed(linked, os::kErrorStoppedOnSymlink, CountLines(lines, length));
        return Outcome::kFailed;
    }
    if (IsLink(path)) {
        Failed(path, os::kErrorStoppedOnSymlink, CountLines(lines, length));
        return Outcome::kFailed;
    }
    // Shared as far as Windows allows, so that a reader, a second writer or
    // a program that renames the file is not refused while a line is added.
    constexpr std::uint32_t kShare = os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete;
    constexpr std::uint32_t kFlags = os::kFileAttributeNormal | os::kFileFlagOpenReparsePoint;
    os::UniqueHandle file(os::CreateFileA(path, os::kFileAppendData, kShare, os::kOpenAlways, kFlags));
    if (!file.Valid() && os::GetLastError() == os::kErrorPathNotFound) {
        CreateFolders(settings.folder);
        file.Reset(os::CreateFileA(path, os::kFileAppendData, kShare, os::kOpenAlways, kFlags));
    }
    if (!file.Valid()) {
        const std::uint32_t error = os::GetLastError();
        if (error == os::kErrorSharingViolation || error == os::kErrorLockViolation) return Outcome::kHeld;
        Failed(path, error, CountLines(lines, length));
        return Outcome::kFailed;
    }
    std::int64_t size = -1;
    os::GetFileSizeEx(file.Get(), &size);
    const std::uint64_t before = size > 0 ? static_cast<std::uint64_t>(size) : kFileStartLength;
    std::size_t kept = length;
    if (!notes && before + length > DayBound(settings)) {
        const std::uint64_t room = DayBound(settings) > before ? DayBound(settings) - before : 0;
        kept = 0;
        for (std::size_t i = 0; i < length && i < room; ++i)
            if (lines[i] == '\n') kept = i + 1;
    }
    std::uint32_t written = 0;
    bool ok = true;
    if (size == 0) {
        ok = os::WriteFile(file.Get(), kFileStart, static_cast<std::uint32_t>(kFileStartLength), &written) !=
                 0 &&
             written == kFileStartLength;
    }
    if (ok && kept > 0) {
        ok = os::WriteFile(file.Get(), lines, static_cast<std::uint32_t>(kept), &written) != 0 &&
             written == kept;
    }
    if (!ok) {
        Failed(path, os::GetLastError(), CountLines(lines, length));
        return Outcome::kFailed;
    }
    Recovered(path);
    if (kept < length) {
        const int dayNumber = DayNumber(day.wYear, day.wMonth, day.wDay);
        if (s.fullDay != dayNumber || s.beyondBound == 0)
            Trace("Journal: %s reached its bound of %u MB; the day's further lines are counted, and their "
                  "number is written into it when the day is over\n",
                  path, static_cast<unsigned>(DayBound(settings) / kMegabyte));
        s.fullDay = dayNumber;
        s.fullTime = day;
        s.beyondBound += static_cast<unsigned long>(CountLines(lines + kept, length - kept));
    }

    const int today = DayNumber(day.wYear, day.wMonth, day.wDay);
    s.size += kept + (size == 0 ? kFileStartLength : 0);
    if (s.prunedDay != today || s.size > s.pruneAbove || s.daysAtPrune != settings.days ||
        s.megabytesAtPrune != settings.megabytes)
        Prune(settings, today);
    return Outcome::kWritten;
}

// Whether lines of the file of `day` wait among the first `used` bytes of
// the waiting buffer.
bool WaitsFor(const os::SystemTime& day, std::size_t used) noexcept {
    const WriterState& s = State();
    for (std::size_t at = 0; at < used;) {
        Run run;
        std::memcpy(&run, s.waiting + at, sizeof run);
        if (run.day.wYear == day.wYear && run.day.wMonth == day.wMonth && run.day.wDay == day.wDay)
            return true;
        at += sizeof run + run.length;
    }
    return false;
}

// Puts lines behind those that wait; what finds no room is counted.
void Wait(const Settings& settings, const os::SystemTime& day, const char* lines, std::size_t length,
          bool notes) noexcept {
    WriterState& s = State();
    if (s.waitingUsed == 0) {
        char path[os::kMaxPath + 40];
        PathOf(settings, day, path);
        Trace("Journal: %s is held open by another program; its lines wait (%u KiB at the most) and "
              "are written when it is free\n",
              path, static_cast<unsigned>(kWaitingBytes / 1024));
        s.retriedAt = os::GetTickCount();
    }
    if (s.waitingUsed + sizeof(Run) + length > kWaitingBytes) {
        s.overflowed += static_cast<unsigned long>(CountLines(lines, length));
        return;
    }
    Run run{day, static_cast<std::uint32_t>(length), notes};
    std::memcpy(s.waiting + s.waitingUsed, &run, sizeof run);
    std::memcpy(s.waiting + s.waitingUsed + sizeof run, lines, length);
    s.waitingUsed += sizeof run + length;
    s.linesWait.store(true, std::memory_order_relaxed);
}

// Writes lines now, or behind the lines of their file that wait.
bool Put(const Settings& settings, const os::SystemTime& day, const char* lines, std::size_t length,
         bool notes) noexcept {
    if (WaitsFor(day, State().waitingUsed)) {
        Wait(settings, day, lines, length, notes);
        return true;
    }
    switch (WriteRun(settings, day, lines, length, notes)) {
        case Outcome::kWritten: return true;
        case Outcome::kHeld: Wait(settings, day, lines, length, notes); return true;
        case Outcome::kFailed: break;
    }
    return false;
}

// One line of the journal's own: `count` lines not journaled, and why.
void PutNote(const Settings& settings, const os::SystemTime& time, unsigned long count,
             const char* meaning) noexcept {
    Event e;
    e.kind = EventKind::kNotJournaled;
    StampNow(e);
    e.time = time;
    std::snprintf(e.result, sizeof e.result, "%lu line(s) not journaled", count);
    std::snprintf(e.meaning, sizeof e.meaning, "%s", meaning);
    char line[kMaxLineSize];
    const std::size_t length = FormatLine(e, line, sizeof line);
    if (length > 0) Put(settings, time, line, length, true);
}

// Writes the runs that wait, in their order; a run whose file is still held
// keeps its place, and so do the later runs of that file.
void WriteWaiting(const Settings& settings) noexcept {
    WriterState& s = State();
    if (s.waitingUsed == 0) return;
    std::size_t kept = 0;
    os::SystemTime last{};
    for (std::size_t at = 0; at < s.waitingUsed;) {
        Run run;
        std::memcpy(&run, s.waiting + at, sizeof run);
        const std::size_t size = sizeof run + run.length;
        const bool keep = WaitsFor(run.day, kept) ||
                          WriteRun(settings, run.day, s.waiting + at + sizeof run, run.length, run.notes) ==
                              Outcome::kHeld;
        if (keep) {
            std::memmove(s.waiting + kept, s.waiting + at, size);
            kept += size;
        } else {
            last = run.day;
        }
        at += size;
    }
    s.waitingUsed = kept;
    s.retriedAt = os::GetTickCount();
    if (kept > 0) return;
    s.linesWait.store(false, std::memory_order_relaxed);
    if (s.overflowed > 0) {
        const unsigned long overflowed = s.overflowed;
        s.overflowed = 0;
        os::SystemTime now{};
        os::GetLocalTime(&now);
        char meaning[64];
        std::snprintf(meaning, sizeof meaning, "the file was held open; %u KiB of lines waited",
                      static_cast<unsigned>(kWaitingBytes / 1024));
        // Into the file whose lines waited last, stamped now if that is today's.
        const bool today = now.wYear == last.wYear && now.wMonth == last.wMonth && now.wDay == last.wDay;
        PutNote(settings, today ? now : last, overflowed, meaning);
    }
}

// The count of the lines a day's bound kept out, into that day's file once
// the day is over.
void NoteBeyondBound(const Settings& settings, int today) noexcept {
    WriterState& s = State();
    if (s.beyondBound == 0 || s.fullDay == today) return;
    const unsigned long count = s.beyondBound;
    s.beyondBound = 0;
    char meaning[64];
    std::snprintf(meaning, sizeof meaning, "the day's file reached its bound of %u MB",
                  static_cast<unsigned>(DayBound(settings) / kMegabyte));
    PutNote(settings, s.fullTime, count, meaning);
}

}  // namespace

int DayNumber(int year, int month, int day) noexcept {
    // days_from_civil (H. Hinnant): the proleptic Gregorian calendar.
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void FolderRights(const char* sid, char (&sddl)[160]) noexcept {
    // D:P a protected list (nothing inherited from %ProgramData%, where every
    // user may read); OICI passed on to files and folders below; FA full
    // access. Without the account's SID, OW: the owner, who made it.
    std::snprintf(sddl, sizeof sddl, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;%s)",
                  sid != nullptr && sid[0] != '\0' ? sid : "OW");
}

bool AppendLines(const os::SystemTime& day, const char* lines, std::size_t length) noexcept {
    if (length == 0) return true;
    os::LockGuard guard(State().lock);
    WriterState& s = State();
    const Settings settings = ReadSettings();
    if (!settings.on) {
        s.waitingUsed = 0;
        s.linesWait.store(false, std::memory_order_relaxed);
        return true;
    }
    NoteBeyondBound(settings, DayNumber(day.wYear, day.wMonth, day.wDay));
    WriteWaiting(settings);
    return Put(settings, day, lines, length, false);
}

void RetryWaitingLines() noexcept {
    WriterState& s = State();
    if (!s.linesWait.load(std::memory_order_relaxed)) return;
    os::LockGuard guard(State().lock);
    if (s.waitingUsed == 0 || os::GetTickCount() - s.retriedAt < kRetryIntervalMs) return;
    const Settings settings = ReadSettings();
    if (!settings.on) {
        s.waitingUsed = 0;
        s.linesWait.store(false, std::memory_order_relaxed);
        return;
    }
    WriteWaiting(settings);
}

void ForgetWriterState() noexcept {
    os::LockGuard guard(State().lock);
    WriterState& s = State();
    s.failing = false;
    s.failureTraced = false;
    s.failureTracedAt = 0;
    s.linesLost = 0;
    s.waitingUsed = 0;
    s.linesWait.store(false, std::memory_order_relaxed);
    s.retriedAt = 0;
    s.overflowed = 0;
    s.fullDay = -1;
    s.fullTime = os::SystemTime{};
    s.beyondBound = 0;
    s.prunedDay = -1;
    s.daysAtPrune = 0;
    s.megabytesAtPrune = 0;
    s.size = 0;
    s.pruneAbove = 0;
}

}  // namespace vantor::journal
