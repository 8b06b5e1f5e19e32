#include "link/send_answers.h"

#include <cstring>

namespace vantor::link {

int SendVerdict::ReferenceOf(const char* text, std::size_t length) noexcept {
    std::size_t i = 0;
    if (i < length && text[i] == ':') ++i;
    while (i < length && text[i] == ' ') ++i;
    int value = -1;
    for (; i < length && text[i] >= '0' && text[i] <= '9' && value < 1000; ++i)
        value = (value < 0 ? 0 : value * 10) + (text[i] - '0');
    return value <= 255 ? value : -1;
}

at::Verdict Prompt::Take(const char* bytes, std::size_t length) noexcept {
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] == '>') return at::Verdict::kDone;
        if (lines_.Step(bytes[i]) && lines_.Result() == at::Verdict::kRefused) {
            refusal_ = at::RefusalOf(lines_.Text(), lines_.Length());
            return at::Verdict::kRefused;
        }
    }
    return at::Verdict::kNotYet;
}

at::Verdict AbandonedSend::Take(const char* bytes, std::size_t length) noexcept {
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] == '>') prompt_ = true;
        if (!lines_.Step(bytes[i])) continue;
        prompt_ = false;  // a line end behind it: the modem said more
        if (lines_.Result() != at::Verdict::kNotYet) return at::Verdict::kDone;
    }
    // The prompt has no line end: one that is the last thing said waits.
    return prompt_ ? at::Verdict::kRefused : at::Verdict::kNotYet;
}

at::Verdict SendVerdict::Take(const char* bytes, std::size_t length) noexcept {
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] == kCtrlZ) {
            Restart();
            continue;
        }
        if (!lines_.Step(bytes[i])) continue;
        if (lines_.Length() >= 5 && std::memcmp(lines_.Text(), "+CMGS", 5) == 0) {
            reference_ = true;
            messageReference_ = ReferenceOf(lines_.Text() + 5, lines_.Length() - 5);
        }
        switch (lines_.Result()) {
            case at::Verdict::kDone:
                return reference_ ? at::Verdict::kDone : at::Verdict::kRefused;
            case at::Verdict::kRefused:
                refusal_ = at::RefusalOf(lines_.Text(), lines_.Length());
                return at::Verdict::kRefused;
            case at::Verdict::kNotYet:
                break;
        }
    }
    return at::Verdict::kNotYet;
}

void SendVerdict::Restart() noexcept {
    lines_.Clear();
    reference_ = false;
    messageReference_ = -1;
    refusal_ = at::Refusal{};
}

}  // namespace vantor::link
