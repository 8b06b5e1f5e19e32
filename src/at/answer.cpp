#include "at/answer.h"

#include <cstring>

namespace vantor::at {
namespace {

bool Is(const char* line, std::size_t length, const char* word) noexcept {
    return length == std::strlen(word) && std::memcmp(line, word, length) == 0;
}

bool StartsWith(const char* line, std::size_t length, const char* prefix) noexcept {
    const std::size_t n = std::strlen(prefix);
    return length >= n && std::memcmp(line, prefix, n) == 0;
}

}  // namespace

Verdict FinalResult(const char* line, std::size_t length) noexcept {
    if (line == nullptr) return Verdict::kNotYet;
    if (Is(line, length, "OK")) return Verdict::kDone;
    if (Is(line, length, "ERROR") || StartsWith(line, length, "+CMS ERROR") ||
        StartsWith(line, length, "+CME ERROR"))
        return Verdict::kRefused;
    return Verdict::kNotYet;
}

}  // namespace vantor::at
