// Virtual clock, global atom table and trace recorder.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <strings.h>
#include <string>
#include <thread>
#include <vector>

#include "os/virt/virt.h"
#include "os/virt/virt_internal.h"

namespace os {
namespace {

struct SystemState {
    std::uint64_t now = 0;
    std::uint32_t tickBase = 0;
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

FileTime CoFileTimeNow() {
    // 2026-01-01 00:00:00 UTC plus the virtual clock, in 100 ns units since 1601.
    constexpr std::uint64_t kBase = 134115552000000000ull;
    const std::uint64_t t = kBase + State().now * 10000ull;
    return FileTime{static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(t >> 32)};
}

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

void Reset() {
    State() = SystemState{};
    ResetPorts();
}

}  // namespace virt
}  // namespace os
