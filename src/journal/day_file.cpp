#include "journal/day_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diag/trace.h"
#include "journal/line_format.h"
#include "journal/settings.h"
#include "os/os.h"

namespace vantor::journal {
namespace {

constexpr std::uint32_t kFailureTraceIntervalMs = 60 * 60 * 1000;
// Day files the bounds look at: over ten years of them.
constexpr int kMaxDayFiles = 4000;

struct DayFile {
    int day;
    std::uint64_t size;
};

// Everything the module's device objects share, under `lock`.
struct WriterState {
    os::SrwLock lock;
    bool failing = false;
    bool failureTraced = false;
    std::uint32_t failureTracedAt = 0;
    unsigned long linesLost = 0;
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

class Guard {
public:
    Guard() noexcept { os::AcquireSRWLockExclusive(&State().lock); }
    ~Guard() { os::ReleaseSRWLockExclusive(&State().lock); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

const char* ErrorName(std::uint32_t error) noexcept {
    switch (error) {
        case os::kErrorFileNotFound: return "file not found";
        case os::kErrorPathNotFound: return "folder not found";
        case os::kErrorAccessDenied: return "access denied";
        case os::kErrorDiskFull: return "disk full";
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

// Creates the folder and those above it that are missing. The drive (or a
// \\server\share) is taken as there.
void CreateFolders(const char* folder) noexcept {
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
        if (!(i == 2 && path[1] == ':')) os::CreateDirectoryA(path);
        path[i] = kept;
    }
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

// Removes day files more than `days` days before `today`, then the oldest
// while all of them together exceed the size limit. Today's file stays.
void Prune(const Settings& settings, int today) noexcept {
    WriterState& s = State();
    char pattern[os::kMaxPath + 40];
    std::snprintf(pattern, sizeof pattern, "%s\\%s\?\?\?\?-\?\?-\?\?%s", settings.folder, kFilePrefix,
                  kFileSuffix);
    os::FindData found{};
    const os::Handle find = os::FindFirstFileA(pattern, &found);
    int count = 0;
    if (find != os::kInvalidHandle) {
        do {
            if ((found.dwFileAttributes & os::kFileAttributeDirectory) != 0) continue;
            const int day = DayOfName(found.cFileName);
            if (day < 0 || count >= kMaxDayFiles) continue;
            s.files[count++] = DayFile{day, (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow};
        } while (os::FindNextFileA(find, &found) != 0);
        os::FindClose(find);
    }
    std::sort(s.files, s.files + count, [](const DayFile& a, const DayFile& b) { return a.day < b.day; });
    const std::uint64_t limit = std::uint64_t{settings.megabytes} * 1024 * 1024;
    std::uint64_t total = 0;
    for (int i = 0; i < count; ++i) total += s.files[i].size;
    for (int i = 0; i < count; ++i) {
        const DayFile& f = s.files[i];
        if (f.day >= today) break;
        const bool tooOld = today - f.day > static_cast<int>(settings.days);
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

bool AppendLines(const os::SystemTime& day, const char* lines, std::size_t length) noexcept {
    if (length == 0) return true;
    Guard guard;
    const Settings settings = ReadSettings();
    if (!settings.on) return true;
    char name[32];
    DayFileName(day, name);
    char path[os::kMaxPath + 40];
    std::snprintf(path, sizeof path, "%s\\%s", settings.folder, name);

    constexpr std::uint32_t kShare = os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete;
    os::Handle file = os::CreateFileA(path, os::kFileAppendData, kShare, os::kOpenAlways,
                                      os::kFileAttributeNormal);
    if (file == os::kInvalidHandle && os::GetLastError() == os::kErrorPathNotFound) {
        CreateFolders(settings.folder);
        file = os::CreateFileA(path, os::kFileAppendData, kShare, os::kOpenAlways,
                               os::kFileAttributeNormal);
    }
    if (file == os::kInvalidHandle) {
        Failed(path, os::GetLastError(), CountLines(lines, length));
        return false;
    }
    std::int64_t size = -1;
    os::GetFileSizeEx(file, &size);
    std::uint32_t written = 0;
    bool ok = true;
    if (size == 0) {
        ok = os::WriteFile(file, kFileStart, static_cast<std::uint32_t>(kFileStartLength), &written) != 0 &&
             written == kFileStartLength;
    }
    if (ok) {
        ok = os::WriteFile(file, lines, static_cast<std::uint32_t>(length), &written) != 0 &&
             written == length;
    }
    const std::uint32_t error = ok ? 0 : os::GetLastError();
    os::CloseHandle(file);
    if (!ok) {
        Failed(path, error, CountLines(lines, length));
        return false;
    }
    Recovered(path);

    WriterState& s = State();
    const int today = DayNumber(day.wYear, day.wMonth, day.wDay);
    s.size += length + (size == 0 ? kFileStartLength : 0);
    if (s.prunedDay != today || s.size > s.pruneAbove || s.daysAtPrune != settings.days ||
        s.megabytesAtPrune != settings.megabytes)
        Prune(settings, today);
    return true;
}

void ForgetWriterState() noexcept {
    WriterState& s = State();
    s.failing = false;
    s.failureTraced = false;
    s.failureTracedAt = 0;
    s.linesLost = 0;
    s.prunedDay = -1;
    s.daysAtPrune = 0;
    s.megabytesAtPrune = 0;
    s.size = 0;
    s.pruneAbove = 0;
}

}  // namespace vantor::journal
