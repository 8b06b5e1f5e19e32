// Virtual clock and wall clock, global atom table, trace recorder and
// registry.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <ctime>
#include <map>
#include <strings.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "os/virt/virt.h"
#include "os/virt/virt_internal.h"

namespace os {
namespace {

// 2026-01-01 00:00:00 UTC in milliseconds since 1970.
constexpr std::int64_t kWallClockStart = 1767225600000;

struct RegistryValue {
    std::uint32_t type = 0;
    std::string bytes;
};

struct SystemState {
    std::uint64_t now = 0;
    std::uint32_t tickBase = 0;
    std::int64_t wallAtZero = kWallClockStart;  // Unix ms at virtual time 0
    std::int32_t bias = -480;                    // UTC+8
    // By upper-case key path, then upper-case value name.
    std::map<std::string, std::map<std::string, RegistryValue>> registry;
    std::map<HKey, std::string> openKeys;
    HKey nextKey = 0x1000;
    std::vector<std::string> atoms;  // atom 0xC000 + i; an empty name is a free entry
    std::vector<std::uint32_t> atomRefs;
    std::size_t liveAtoms = 0;
    std::vector<std::string> trace;
    std::uint64_t traced = 0;
};

SystemState& State() {
    static SystemState state;
    return state;
}

constexpr std::uint16_t kFirstAtom = 0xC000;

}  // namespace

void Sleep(std::uint32_t milliseconds) { State().now += milliseconds; }

std::uint32_t GetTickCount() {
    return static_cast<std::uint32_t>(State().tickBase + State().now);
}

std::int64_t WallMs() { return State().wallAtZero + static_cast<std::int64_t>(State().now); }

// The wall clock in 100 ns units since 1601.
FileTime CoFileTimeNow() {
    constexpr std::uint64_t kUnixEpochIn1601 = 116444736000000000ull;
    const std::uint64_t t = kUnixEpochIn1601 + static_cast<std::uint64_t>(WallMs()) * 10000ull;
    return FileTime{static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(t >> 32)};
}

void GetLocalTime(SystemTime* time) {
    if (time == nullptr) return;
    const std::int64_t local = WallMs() - static_cast<std::int64_t>(State().bias) * 60000;
    const std::time_t seconds = static_cast<std::time_t>(local / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    *time = SystemTime{static_cast<std::uint16_t>(tm.tm_year + 1900),
                       static_cast<std::uint16_t>(tm.tm_mon + 1),
                       static_cast<std::uint16_t>(tm.tm_wday),
                       static_cast<std::uint16_t>(tm.tm_mday),
                       static_cast<std::uint16_t>(tm.tm_hour),
                       static_cast<std::uint16_t>(tm.tm_min),
                       static_cast<std::uint16_t>(tm.tm_sec),
                       static_cast<std::uint16_t>(local % 1000)};
}

// One zone without daylight saving time.
std::uint32_t GetTimeZoneInformation(TimeZoneInformation* zone) {
    if (zone == nullptr) return kTimeZoneIdInvalid;
    std::memset(zone, 0, sizeof *zone);
    zone->Bias = State().bias;
    return kTimeZoneIdUnknown;
}

namespace {

std::string Upper(const char* text) {
    std::string out = text != nullptr ? text : "";
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::int32_t RegOpenKeyExA(HKey key, const char* subKey, std::uint32_t, std::uint32_t,
                           HKey* result) {
    constexpr std::int32_t kErrorFileNotFoundStatus = 2;
    if (result == nullptr || key != kHkeyLocalMachine) return 6;  // ERROR_INVALID_HANDLE
    const std::string path = Upper(subKey);
    if (State().registry.count(path) == 0) return kErrorFileNotFoundStatus;
    const HKey opened = State().nextKey;
    State().nextKey += 4;
    State().openKeys[opened] = path;
    *result = opened;
    return kErrorSuccess;
}

// Win32's rules: a null `data` asks for the size; a buffer too small gets
// ERROR_MORE_DATA and the size needed.
std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) {
    const auto open = State().openKeys.find(key);
    if (open == State().openKeys.end()) return 6;
    const auto& values = State().registry[open->second];
    const auto it = values.find(Upper(name));
    if (it == values.end()) return 2;
    const RegistryValue& v = it->second;
    if (type != nullptr) *type = v.type;
    if (size == nullptr) return data == nullptr ? kErrorSuccess : 87;  // ERROR_INVALID_PARAMETER
    const auto needed = static_cast<std::uint32_t>(v.bytes.size());
    if (data != nullptr && *size < needed) {
        *size = needed;
        return 234;  // ERROR_MORE_DATA
    }
    if (data != nullptr) std::memcpy(data, v.bytes.data(), needed);
    *size = needed;
    return kErrorSuccess;
}

std::int32_t RegCloseKey(HKey key) { return State().openKeys.erase(key) != 0 ? kErrorSuccess : 6; }

// A spin lock on the lock's word: tests hold it only for a few table steps.
void AcquireSRWLockExclusive(SrwLock* lock) {
    std::atomic_ref<void*> state(lock->state);
    void* unlocked = nullptr;
    while (!state.compare_exchange_weak(unlocked, lock, std::memory_order_acquire)) {
        unlocked = nullptr;
        std::this_thread::yield();
    }
}

void ReleaseSRWLockExclusive(SrwLock* lock) {
    std::atomic_ref<void*>(lock->state).store(nullptr, std::memory_order_release);
}

std::uint16_t GlobalAddAtomA(const char* text) {
    if (text == nullptr) return 0;
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > 255) return 0;
    auto& s = State();
    std::size_t free = s.atoms.size();
    for (std::size_t i = 0; i < s.atoms.size(); ++i) {
        if (s.atoms[i].empty()) {
            if (free == s.atoms.size()) free = i;
            continue;
        }
        // Windows compares atom names without regard to case.
        if (strcasecmp(s.atoms[i].c_str(), text) == 0) {
            ++s.atomRefs[i];
            return static_cast<std::uint16_t>(kFirstAtom + i);
        }
    }
    if (free == s.atoms.size()) {
        if (s.atoms.size() >= 0x3FFF) return 0;
        s.atoms.emplace_back();
        s.atomRefs.push_back(0);
    }
    s.atoms[free] = text;
    s.atomRefs[free] = 1;
    ++s.liveAtoms;
    return static_cast<std::uint16_t>(kFirstAtom + free);
}

std::uint32_t GlobalGetAtomNameA(std::uint16_t atom, char* buffer, int size) {
    auto& s = State();
    if (buffer == nullptr || size <= 0) return 0;
    if (atom < kFirstAtom || atom - kFirstAtom >= static_cast<int>(s.atoms.size())) return 0;
    const std::string& name = s.atoms[atom - kFirstAtom];
    if (name.empty()) return 0;
    const std::size_t n = std::min(name.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

// The newest lines are kept (at least the last 10 000), so that a long soak
// stays bounded.
void OutputDebugStringA(const char* text) {
    constexpr std::size_t kKeptLines = 10000;
    auto& trace = State().trace;
    if (trace.size() >= 2 * kKeptLines)
        trace.erase(trace.begin(), trace.begin() + static_cast<std::ptrdiff_t>(kKeptLines));
    trace.emplace_back(text ? text : "");
    ++State().traced;
}

namespace virt {

std::uint64_t Now() { return State().now; }
void SetTickBase(std::uint32_t tick) { State().tickBase = tick; }
std::size_t AtomCount() { return State().liveAtoms; }
const std::vector<std::string>& TraceLines() { return State().trace; }
std::uint64_t TraceLineCount() { return State().traced; }

void ReleaseAtom(std::uint16_t atom) {
    auto& s = State();
    if (atom < kFirstAtom || atom - kFirstAtom >= static_cast<int>(s.atoms.size())) return;
    const std::size_t i = atom - kFirstAtom;
    if (s.atoms[i].empty() || --s.atomRefs[i] > 0) return;
    s.atoms[i].clear();
    --s.liveAtoms;
}

void SetUtcTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const std::int64_t wall = static_cast<std::int64_t>(timegm(&tm)) * 1000;
    State().wallAtZero = wall - static_cast<std::int64_t>(State().now);
}

void SetTimeZoneBias(std::int32_t biasMinutes) { State().bias = biasMinutes; }

void SetRegistryString(const std::string& key, const std::string& name, const std::string& value) {
    // REG_SZ holds its terminating NUL.
    State().registry[Upper(key.c_str())][Upper(name.c_str())] =
        RegistryValue{kRegSz, value + std::string(1, '\0')};
}

void SetRegistryDword(const std::string& key, const std::string& name, std::uint32_t value) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    State().registry[Upper(key.c_str())][Upper(name.c_str())] = RegistryValue{kRegDword, bytes};
}

void DeleteRegistryValue(const std::string& key, const std::string& name) {
    const auto it = State().registry.find(Upper(key.c_str()));
    if (it != State().registry.end()) it->second.erase(Upper(name.c_str()));
}

void Reset() {
    State() = SystemState{};
    ResetPorts();
    ResetFiles();
}

}  // namespace virt
}  // namespace os
