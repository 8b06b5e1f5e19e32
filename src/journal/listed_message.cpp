#include "journal/listed_message.h"

#include <cstdio>
#include <cstring>

#include "os/lock_guard.h"
#include "os/os.h"

namespace vantor::journal {
namespace {

constexpr char kPduFrom[] = "\xC0\xB4\xD7\xD4:";         // 来自:
constexpr char kPduMessage[] = "\xB5\xC4\xCF\xFB\xCF\xA2";  // 的消息
constexpr char kTextFrom[] = " Message From ";

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// The first 12 digits of [from, to) as "20YY-MM-DD hh:mm:ss"; empty when
// fewer.
void StampOf(const char* from, const char* to, char (&stamp)[20]) noexcept {
    char d[12];
    int n = 0;
    for (const char* p = from; p < to && n < 12; ++p)
        if (IsDigit(*p)) d[n++] = *p;
    if (n < 12) {
        stamp[0] = '\0';
        return;
    }
    std::snprintf(stamp, sizeof stamp, "20%.2s-%.2s-%.2s %.2s:%.2s:%.2s", d, d + 2, d + 4, d + 6, d + 8,
                  d + 10);
}

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

}  // namespace

bool ParseListedHeader(const char* header, ListedHeader* out) noexcept {
    *out = ListedHeader{};
    if (header == nullptr || header[0] != '<' || !IsDigit(header[1])) return false;
    const char* p = header + 1;
    int index = 0;
    while (IsDigit(*p) && index < 100000) index = index * 10 + (*p++ - '0');
    if (*p != '>') return false;
    out->index = index;
    ++p;
    if (const char* from = std::strstr(p, kPduFrom)) {
        StampOf(p, from, out->stamp);
        out->sender = from + sizeof kPduFrom - 1;
        const char* end = std::strstr(out->sender, kPduMessage);
        out->senderLength = end ? static_cast<std::size_t>(end - out->sender) : std::strlen(out->sender);
        // "(k/n)" after 的消息.
        int k = 0;
        int total = 0;
        if (end != nullptr &&
            std::sscanf(end + sizeof kPduMessage - 1, "(%d/%d)", &k, &total) == 2 && k > 0 && total > 0)
            std::snprintf(out->part, sizeof out->part, "%d/%d", k, total);
        return true;
    }
    if (const char* from = std::strstr(p, kTextFrom)) {
        StampOf(p, from, out->stamp);
        out->sender = from + sizeof kTextFrom - 1;
        out->senderLength = std::strlen(out->sender);
        return true;
    }
    out->notice = p;
    return true;
}

std::uint64_t MessageKey(const char* port, const char* header, const char* body) noexcept {
    std::uint64_t h = kFnvOffset;
    for (const char* p = port; *p != '\0'; ++p) h = Mix(h, *p);
    h = Mix(h, '\0');
    for (const char* p = header; *p != '\0'; ++p)
        if (IsDigit(*p)) h = Mix(h, *p);
    h = Mix(h, '\0');
    for (const char* p = body; *p != '\0'; ++p) h = Mix(h, *p);
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
