#include "at/answer.h"

#include <cstring>

namespace vantor::at {
namespace {

bool Is(const char* line, std::size_t length, const char* word) noexcept {
    return length == std::strlen(word) && std::memcmp(line, word, length) == 0;
}

}  // namespace

bool StartsWith(const char* line, std::size_t length, const char* prefix) noexcept {
    const std::size_t n = std::strlen(prefix);
    return length >= n && std::memcmp(line, prefix, n) == 0;
}

Verdict FinalResult(const char* line, std::size_t length) noexcept {
    if (line == nullptr) return Verdict::kNotYet;
    if (Is(line, length, "OK")) return Verdict::kDone;
    if (Is(line, length, "ERROR") || StartsWith(line, length, "+CMS ERROR") ||
        StartsWith(line, length, "+CME ERROR"))
        return Verdict::kRefused;
    return Verdict::kNotYet;
}

Refusal RefusalOf(const char* line, std::size_t length) noexcept {
    Refusal r;
    if (line == nullptr) return r;
    if (StartsWith(line, length, "+CMS ERROR:")) r.kind = Refusal::Kind::kCms;
    else if (StartsWith(line, length, "+CME ERROR:")) r.kind = Refusal::Kind::kCme;
    else return r;
    std::size_t i = 11;
    while (i < length && line[i] == ' ') ++i;
    int code = 0;
    std::size_t digits = 0;
    for (; i < length && line[i] >= '0' && line[i] <= '9' && digits < 6; ++i, ++digits)
        code = code * 10 + (line[i] - '0');
    // A code in words (verbose error results) or none: a refusal all the same.
    r.code = digits > 0 ? code : -1;
    return r;
}

}  // namespace vantor::at
