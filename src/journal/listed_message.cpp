#include "journal/listed_message.h"

#include <cstdio>
#include <cstring>

#include "os/lock_guard.h"
#include "os/os.h"

namespace vantor::journal {
namespace {

struct Seen {
    os::SrwLock lock;
    std::uint64_t keys[kRemembered] = {};
    int count = 0;
    int next = 0;
};

Seen& Memory() noexcept {
    static Seen seen;
    return seen;
}

// FNV-1a, 64 bits.
constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;
std::uint64_t Mix(std::uint64_t h, char c) noexcept {
    return (h ^ static_cast<unsigned char>(c)) * kFnvPrime;
}
std::uint64_t MixUnit(std::uint64_t h, char16_t u) noexcept {
    return Mix(Mix(h, static_cast<char>(u >> 8)), static_cast<char>(u & 0xFF));
}
std::uint64_t MixNumber(std::uint64_t h, int v) noexcept {
    for (int k = 0; k < 4; ++k) h = Mix(h, static_cast<char>((static_cast<unsigned>(v) >> (8 * k)) & 0xFF));
    return h;
}

}  // namespace

std::uint64_t MessageKey(const char* port, const sms::Received& m) noexcept {
    std::uint64_t h = kFnvOffset;
    for (const char* p = port; *p != '\0'; ++p) h = Mix(h, *p);
    h = Mix(h, '\0');
    h = MixNumber(h, m.IndexNumber());
    for (const char c : m.stamp.digits) h = Mix(h, c);
    for (int k = 0; k < m.senderUnits; ++k) h = MixUnit(h, m.sender[k]);
    h = MixNumber(h, m.part);
    h = MixNumber(h, m.parts);
    h = Mix(h, m.nonText ? 1 : 0);
    for (int k = 0; k < m.textUnits; ++k) h = MixUnit(h, m.text[k]);
    return h;
}

bool FirstSight(std::uint64_t key) noexcept {
    Seen& s = Memory();
    os::LockGuard guard(s.lock);
    bool first = true;
    for (int i = 0; i < s.count && first; ++i) first = s.keys[i] != key;
    if (first) {
        s.keys[s.next] = key;
        s.next = (s.next + 1) % kRemembered;
        if (s.count < kRemembered) ++s.count;
    }
    return first;
}

void ForgetSeenMessages() noexcept {
    Seen& s = Memory();
    os::LockGuard guard(s.lock);
    s.count = 0;
    s.next = 0;
}

}  // namespace vantor::journal
