#include "journal_command.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "console_text.h"
#include "com/whole_file.h"
#include "journal/line_format.h"
#include "journal/settings.h"

namespace vhost {
namespace {

namespace jr = vantor::journal;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* T(Language language, const char* english, const char* chinese) {
    return language == Language::kChinese ? chinese : english;
}

// The journal's column names and event names in the console's language.
struct Word {
    const char* english;
    const char* chinese;
};
constexpr Word kColumns[] = {
    {"time", "时间"},        {"port", "端口"},       {"event", "事件"},  {"number", "号码"},
    {"parts", "分段"},       {"references", "参考号"}, {"result", "结果"}, {"error", "错误"},
    {"meaning", "含义"},     {"text", "内容"},
};
constexpr Word kEvents[] = {
    {"sent", "已发送"},          {"refused", "被拒绝"},     {"outcome unknown", "结果未知"},
    {"received", "已接收"},      {"deleted", "已删除"},     {"link lost", "链路中断"},
    {"link back", "链路恢复"},   {"modem restarted", "调制解调器重启"},
    {"not journaled", "未记录"},      {"delivered", "已送达"},   {"not delivered", "未送达"},
    {"still trying", "仍在尝试"},
};

// A journal line with its event named in `language`.
std::string Localized(const std::string& line, Language language) {
    if (language == Language::kEnglish) return line;
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    const std::size_t third = second == std::string::npos ? second : line.find('\t', second + 1);
    if (third == std::string::npos) return line;
    const std::string event = line.substr(second + 1, third - second - 1);
    for (const Word& w : kEvents)
        if (event == w.english) return line.substr(0, second + 1) + w.chinese + line.substr(third);
    return line;
}

// A journal line with its fields as they were: the text mark that keeps a
// spreadsheet from taking a field for a formula or a number is dropped.
std::string Unmarked(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    bool fieldStart = true;
    for (const char c : line) {
        if (!(fieldStart && c == jr::kTextMark)) out += c;
        fieldStart = c == '\t';
    }
    return out;
}

// The journal's columns; with `delivery`, the listing's column after them.
std::string HeaderLine(Language language, bool delivery) {
    std::string out;
    for (const Word& w : kColumns) out += std::string(out.empty() ? "" : "\t") + T(language, w.english, w.chinese);
    if (delivery) out += std::string("\t") + T(language, "delivery", "送达");
    return out + "\n";
}

bool ParseNumber(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

// --- settings (HKLM\SOFTWARE\Vantor) ---

// Writes or (value null) removes one value; 0 or the Win32 error.
LONG SetValue(const char* name, DWORD type, const void* value, DWORD size) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, jr::kRegistryKey, 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    if (value != nullptr) {
        status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(value), size);
    } else {
        status = RegDeleteValueA(key, name);
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return status;
}

LONG SetText(const char* name, const std::string& text) {
    return SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

LONG SetBound(const char* name, long value) {
    if (value == 0) return SetValue(name, REG_DWORD, nullptr, 0);
    const DWORD number = static_cast<DWORD>(value);
    return SetValue(name, REG_DWORD, &number, sizeof number);
}

// A folder the driver can find whatever its current directory: a drive and
// its root ("D:\..."), or a share ("\\server\share\...").
bool IsAbsoluteFolder(const std::string& path) {
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/'))
        return true;
    return path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
}

void PrintWhere(Language language) {
    const jr::Settings s = jr::ReadSettings();
    if (!s.on) {
        OutUtf8(T(language, "Journal: off (vantorhost journal --on turns it on)\n",
                  "短信日志：已关闭（vantorhost journal --on 可重新开启）\n"));
        return;
    }
    const std::string folder = WideToUtf8(AnsiToWide(s.folder));
    OutUtf8(Format(T(language, "Journal: %s (day files kept %lu days, at most %lu MB in all, %lu MB a day)\n",
                     "短信日志：%s（按天保存，保留 %lu 天，总共最多 %lu MB，每天最多 %lu MB）\n"),
                   folder.c_str(), static_cast<unsigned long>(s.days),
                   static_cast<unsigned long>(s.megabytes),
                   static_cast<unsigned long>(std::min(s.dayMegabytes, s.megabytes))));
    OutUtf8(jr::DeliveryReportsOn()
                ? T(language, "Delivery reports: on (vantorhost journal --delivery-reports off turns them off)\n",
                    "送达报告：已开启（vantorhost journal --delivery-reports off 可关闭）\n")
                : T(language, "Delivery reports: off (vantorhost journal --delivery-reports on turns them on)\n",
                    "送达报告：已关闭（vantorhost journal --delivery-reports on 可开启）\n"));
}

int ReportFailure(LONG status, Language language) {
    Err(Format("journal: the registry (HKLM\\%s) could not be written: error %ld%s\n", jr::kRegistryKey,
               static_cast<long>(status),
               status == ERROR_ACCESS_DENIED ? T(language, " (run as administrator)", " (请以管理员身份运行)")
                                             : ""));
    return kExitFailed;
}

// --- the entries ---

// Said with "access denied": who may read the journal.
constexpr char kForWhom[] = " (the journal is for administrators, SYSTEM and the account that runs the HMI)";


// journal-YYYY-MM-DD.txt of the local day `back` days before today.
std::string DayFileName(int back) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    now.wHour = 12;  // midday: a day back is always the day before, whatever the clock does
    FILETIME time{};
    SystemTimeToFileTime(&now, &time);
    ULARGE_INTEGER t{};
    t.LowPart = time.dwLowDateTime;
    t.HighPart = time.dwHighDateTime;
    t.QuadPart -= static_cast<ULONGLONG>(back) * 24ull * 3600ull * 10000000ull;
    time.dwLowDateTime = t.LowPart;
    time.dwHighDateTime = t.HighPart;
    SYSTEMTIME day{};
    FileTimeToSystemTime(&time, &day);
    return Format("%s%04u-%02u-%02u%s", jr::kFilePrefix, day.wYear, day.wMonth, day.wDay, jr::kFileSuffix);
}

// The fields of a journal line, without their text marks.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

// "2026-12-09 03:12:05.123 +08:00" as a local time in 100-ns units; 0 when
// the field is no such time.
ULONGLONG LocalTimeOf(const std::string& field) {
    SYSTEMTIME t{};
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (std::sscanf(field.c_str(), "%4u-%2u-%2u %2u:%2u:%2u", &y, &mo, &d, &h, &mi, &sec) != 6) return 0;
    t.wYear = static_cast<WORD>(y);
    t.wMonth = static_cast<WORD>(mo);
    t.wDay = static_cast<WORD>(d);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(mi);
    t.wSecond = static_cast<WORD>(sec);
    FILETIME f{};
    if (!SystemTimeToFileTime(&t, &f)) return 0;
    return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

// --- delivery: the status reports journaled on a sent message ---

bool IsSent(const std::vector<std::string>& f) { return f.size() >= 10 && f[2] == "sent"; }
bool IsFinal(const std::vector<std::string>& f) { return f[2] == "delivered" || f[2] == "not delivered"; }
bool IsReport(const std::vector<std::string>& f) { return f.size() >= 10 && (IsFinal(f) || f[2] == "still trying"); }

// The message references of a sent line's `references` field, "17 18 19".
std::vector<std::string> References(const std::string& field) {
    std::vector<std::string> refs;
    std::size_t start = 0;
    while (start < field.size()) {
        std::size_t end = field.find(' ', start);
        if (end == std::string::npos) end = field.size();
        if (end > start) refs.push_back(field.substr(start, end - start));
        start = end + 1;
    }
    return refs;
}

// The lines read, each also as its fields (without text marks); and for each
// number and reference, the sent lines under that reference and the status
// reports on it, in order, so that a message's reports are found without
// reading the lines of every other message to the same number.
struct Entries {
    std::vector<std::string> lines;
    std::vector<std::vector<std::string>> fields;
    std::unordered_map<std::string, std::vector<std::size_t>> byReference;

    static std::string Key(const std::string& number, const std::string& reference) {
        return number + '\t' + reference;
    }
    void Add(std::string line) {
        const std::size_t i = lines.size();
        lines.push_back(std::move(line));
        fields.push_back(Fields(lines.back()));
        const std::vector<std::string>& f = fields.back();
        if (IsSent(f))
            for (const std::string& ref : References(f[5])) byReference[Key(f[3], ref)].push_back(i);
        else if (IsReport(f))
            byReference[Key(f[3], f[5])].push_back(i);
    }
};

// One part of a sent message: its reference and the report lines on it, in
// the order journaled.
struct PartReports {
    std::string reference;
    std::vector<const std::vector<std::string>*> reports;
    bool Final() const {
        return std::any_of(reports.begin(), reports.end(), [](const auto* r) { return IsFinal(*r); });
    }
};

// The parts of the sent message `entries.lines[i]`, one for each of its
// references: a report belongs to the last message before it that went to
// its number under its reference, so a later message to the same number
// under the same reference (they come round every 256 messages) takes the
// reports that follow it.
std::vector<PartReports> ReportsOn(const Entries& entries, std::size_t i) {
    const std::vector<std::string>& sent = entries.fields[i];
    std::vector<PartReports> parts;
    for (std::string& ref : References(sent[5])) {
        PartReports part{std::move(ref), {}};
        const std::vector<std::size_t>& same = entries.byReference.at(Entries::Key(sent[3], part.reference));
        for (auto j = std::upper_bound(same.begin(), same.end(), i); j != same.end(); ++j) {
            const std::vector<std::string>& r = entries.fields[*j];
            if (IsSent(r)) break;
            part.reports.push_back(&r);
        }
        parts.push_back(std::move(part));
    }
    return parts;
}

// The sent messages of `entries` that have, more than `minutes` after they
// went out, no final status report (delivered or not delivered) on every
// part.
std::vector<std::string> Undelivered(const Entries& entries, long minutes) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    FILETIME f{};
    SystemTimeToFileTime(&now, &f);
    const ULONGLONG nowTicks = (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    const ULONGLONG wait = static_cast<ULONGLONG>(minutes) * 60ull * 10000000ull;
    std::vector<std::string> found;
    for (std::size_t i = 0; i < entries.lines.size(); ++i) {
        if (!IsSent(entries.fields[i])) continue;
        const ULONGLONG at = LocalTimeOf(entries.fields[i][0]);
        if (at == 0 || at + wait > nowTicks) continue;
        const std::vector<PartReports> parts = ReportsOn(entries, i);
        if (!std::all_of(parts.begin(), parts.end(), [](const PartReports& p) { return p.Final(); }))
            found.push_back(entries.lines[i]);
    }
    return found;
}

// When a report says a part was delivered: "delivered 2026-12-09 03:12:09
// +08:00, 4 s after sending" (the zone and the seconds only when the service
// centre's time stamp had a zone).
struct Delivered {
    std::string date, time, zone;  // "2026-12-09", "03:12:09", "+08:00" or empty
    long long instant = 0;         // seconds since 2000-01-01 UTC (local when no zone)
    long long seconds = -1;        // after sending, -1 unknown
};

// Days since 2000-01-01 of a civil date (H. Hinnant's days_from_civil).
long long DaysOf(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<long long>(era) * 146097 + doe - 719468 - 10957;
}

bool ParseDelivered(const std::string& result, Delivered& d) {
    constexpr char kWord[] = "delivered ";
    if (result.rfind(kWord, 0) != 0) return false;
    const char* p = result.c_str() + sizeof kWord - 1;
    int y = 0, mo = 0, day = 0, h = 0, mi = 0, s = 0, used = 0;
    if (std::sscanf(p, "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &day, &h, &mi, &s, &used) != 6 || used != 19 ||
        mo < 1 || mo > 12 || day < 1 || day > 31)
        return false;
    d.date.assign(p, 10);
    d.time.assign(p + 11, 8);
    d.instant = DaysOf(y, mo, day) * 86400 + h * 3600 + mi * 60 + s;
    p += used;
    int zh = 0, zm = 0;
    if (p[0] == ' ' && (p[1] == '+' || p[1] == '-') && std::sscanf(p + 2, "%2d:%2d%n", &zh, &zm, &used) == 2 &&
        used == 5) {
        d.zone.assign(p + 1, 6);
        d.instant -= (p[1] == '-' ? -1 : 1) * static_cast<long long>(zh * 3600 + zm * 60);
        p += 7;
    }
    long long seconds = -1;
    if (std::sscanf(p, ", %lld s after sending%n", &seconds, &used) == 1 && seconds >= 0) d.seconds = seconds;
    return true;
}

// Why a report says what it says: its status's meaning, or the status itself
// ("status 80") when it has none, as one the service centre defines.
const std::string& Why(const std::vector<std::string>& report) {
    return report[8].empty() ? report[7] : report[8];
}

// What came of the sent message `entries.lines[i]`, in `language`: every
// part delivered (when the last part was, and how long after sending), a
// part not delivered, still trying, or no report yet.
std::string DeliveryOf(const Entries& entries, std::size_t i, Language language) {
    const std::vector<PartReports> parts = ReportsOn(entries, i);
    // Each part's final report (the last, should more come), else its
    // still-trying report.
    const std::vector<std::string>* notDelivered = nullptr;
    const std::vector<std::string>* trying = nullptr;
    std::vector<const std::vector<std::string>*> delivered;
    for (const PartReports& part : parts) {
        const std::vector<std::string>* last = nullptr;
        for (const auto* r : part.reports)
            if (IsFinal(*r) || last == nullptr) last = r;
        if (last == nullptr) continue;
        if ((*last)[2] == "not delivered" && notDelivered == nullptr) notDelivered = last;
        if ((*last)[2] == "still trying" && trying == nullptr) trying = last;
        if ((*last)[2] == "delivered") delivered.push_back(last);
    }
    if (notDelivered != nullptr)
        return T(language, "not delivered: ", "未送达：") + Why(*notDelivered);
    if (!parts.empty() && delivered.size() == parts.size()) {
        std::vector<Delivered> when(delivered.size());
        bool known = true;
        for (std::size_t k = 0; k < delivered.size() && known; ++k)
            known = ParseDelivered((*delivered[k])[6], when[k]);
        if (!known) return T(language, "delivered", "已送达");
        // The last part's delivery; a message went out when its first part
        // reached the service centre, by the same clock as the deliveries.
        const Delivered* last = &when[0];
        bool timed = true;
        long long sentAt = when[0].instant - when[0].seconds;
        for (const Delivered& d : when) {
            if (d.instant > last->instant) last = &d;
            timed = timed && d.seconds >= 0;
            sentAt = std::min(sentAt, d.instant - d.seconds);
        }
        // The report's own time, as its service centre gave it: the date too
        // when that is not the day the message was sent, and the zone too
        // when it is not the journal's.
        const std::string& sentTime = entries.fields[i][0];
        const std::string sentZone = sentTime.size() > 6 ? sentTime.substr(sentTime.size() - 6) : "";
        std::string at = last->time;
        if (!last->zone.empty() && last->zone != sentZone)
            at = last->date + " " + last->time + " " + last->zone;
        else if (sentTime.compare(0, 10, last->date) != 0)
            at = last->date + " " + last->time;
        if (!timed) return T(language, "delivered ", "已送达 ") + at;
        return Format(T(language, "delivered %s, %lld s after sending", "已送达 %s，发出后 %lld 秒"), at.c_str(),
                      last->instant - sentAt);
    }
    if (trying != nullptr) return T(language, "still trying: ", "仍在尝试：") + Why(*trying);
    return T(language, "no report yet", "尚无报告");
}

int PrintEntries(long days, long undeliveredMinutes, Language language) {
    PrintWhere(language);
    const jr::Settings s = jr::ReadSettings();
    if (!s.on) return 0;
    const std::string first = DayFileName(static_cast<int>(days - 1));
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    const std::string pattern = std::string(s.folder) + "\\" + jr::kFilePrefix + "*" + jr::kFileSuffix;
    const HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name.size() == first.size() && name >= first) names.push_back(name);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    } else if (GetLastError() == ERROR_ACCESS_DENIED) {
        Err(Format("journal: %s cannot be read: access denied%s\n", s.folder, kForWhom));
    }
    std::sort(names.begin(), names.end());
    // Every line first: a message's reports may come days after it.
    Entries entries;
    for (const std::string& name : names) {
        std::string text;
        DWORD error = 0;
        if (!vantor::com::ReadWholeFile(std::string(s.folder) + "\\" + name, text, error)) {
            Err(Format("journal: %s cannot be read: error %lu%s\n", name.c_str(),
                       static_cast<unsigned long>(error), error == ERROR_ACCESS_DENIED ? kForWhom : ""));
            continue;
        }
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
        std::size_t start = 0;
        bool header = true;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            start = end + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (header || line.empty()) {
                header = false;
                continue;
            }
            entries.Add(Unmarked(line));
        }
    }
    if (undeliveredMinutes >= 0) {
        const std::vector<std::string> undelivered = Undelivered(entries, undeliveredMinutes);
        if (!undelivered.empty()) OutUtf8(HeaderLine(language, false));
        for (const std::string& line : undelivered) OutUtf8(Localized(line, language) + "\n");
        if (language == Language::kChinese)
            OutUtf8(Format("最近 %ld 天共 %lu 条短信发出 %ld 分钟后仍无送达报告。\n", days,
                           static_cast<unsigned long>(undelivered.size()), undeliveredMinutes));
        else
            OutUtf8(Format("%lu message(s) of the last %ld day(s) without a delivery report %ld minutes after "
                           "sending.\n",
                           static_cast<unsigned long>(undelivered.size()), days, undeliveredMinutes));
        return 0;
    }
    // Each line with one more column: a sent message's delivery.
    if (!entries.lines.empty()) OutUtf8(HeaderLine(language, true));
    for (std::size_t i = 0; i < entries.lines.size(); ++i)
        OutUtf8(Localized(entries.lines[i], language) + "\t" +
                (IsSent(entries.fields[i]) ? DeliveryOf(entries, i, language) : std::string()) + "\n");
    const unsigned long count = static_cast<unsigned long>(entries.lines.size());
    if (language == Language::kChinese)
        OutUtf8(Format("最近 %ld 天共 %lu 条记录。\n", days, count));
    else
        OutUtf8(Format("%lu entries in the last %ld day(s).\n", count, days));
    return 0;
}

}  // namespace

int RunJournal(const std::vector<std::string>& args) {
    const Language language = ConsoleLanguage();
    long days = 1;
    std::string folder;
    bool off = false, on = false, setFolder = false;
    long keepDays = -1, keepMb = -1, keepDayMb = -1;
    int reports = -1;  // --delivery-reports: 1 on, 0 off
    long undelivered = -1;  // --undelivered MINUTES
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--days" && hasValue && ParseNumber(args[i + 1], 1, 3650, days)) {
            ++i;
        } else if (a == "--folder" && hasValue && IsAbsoluteFolder(args[i + 1])) {
            folder = args[++i];
            setFolder = true;
        } else if (a == "--off") {
            off = true;
        } else if (a == "--on") {
            on = true;
        } else if (a == "--keep-days" && hasValue && ParseNumber(args[i + 1], 0, 36500, keepDays)) {
            ++i;
        } else if (a == "--keep-mb" && hasValue && ParseNumber(args[i + 1], 0, 100000, keepMb)) {
            ++i;
        } else if (a == "--keep-day-mb" && hasValue && ParseNumber(args[i + 1], 0, 100000, keepDayMb)) {
            ++i;
        } else if (a == "--undelivered" && hasValue && ParseNumber(args[i + 1], 0, 525600, undelivered)) {
            ++i;
        } else if (a == "--delivery-reports" && hasValue && (args[i + 1] == "on" || args[i + 1] == "off")) {
            reports = args[++i] == "on" ? 1 : 0;
        } else {
            Err("journal: bad argument " + a +
                "\nusage: vantorhost journal [--days N] [--undelivered MINUTES] | --folder PATH (absolute) | --off | --on"
                " | --keep-days N | --keep-mb N | --keep-day-mb N | --delivery-reports on|off\n");
            return kExitUsage;
        }
    }
    if (static_cast<int>(off) + static_cast<int>(on) + static_cast<int>(setFolder) > 1) {
        Err("journal: give one of --folder, --off and --on\n");
        return kExitUsage;
    }
    const bool changes =
        off || on || setFolder || keepDays >= 0 || keepMb >= 0 || keepDayMb >= 0 || reports >= 0;
    if (!changes) return PrintEntries(days, undelivered, language);

    LONG status = ERROR_SUCCESS;
    if (setFolder) status = SetText(jr::kFolderValue, folder);
    if (off) status = SetText(jr::kFolderValue, jr::kOffWord);
    if (on) status = SetValue(jr::kFolderValue, REG_SZ, nullptr, 0);
    if (status == ERROR_SUCCESS && keepDays >= 0) status = SetBound(jr::kDaysValue, keepDays);
    if (status == ERROR_SUCCESS && keepMb >= 0) status = SetBound(jr::kMegabytesValue, keepMb);
    if (status == ERROR_SUCCESS && keepDayMb >= 0) status = SetBound(jr::kDayMegabytesValue, keepDayMb);
    if (status == ERROR_SUCCESS && reports >= 0) {
        const DWORD value = static_cast<DWORD>(reports);
        status = SetValue(jr::kDeliveryReportsValue, REG_DWORD, &value, sizeof value);
    }
    if (status != ERROR_SUCCESS) return ReportFailure(status, language);
    PrintWhere(language);
    return 0;
}

}  // namespace vhost
