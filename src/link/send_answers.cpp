#include "link/send_answers.h"

#include <cstring>

namespace vantor::link {

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

at::Verdict SendVerdict::Take(const char* bytes, std::size_t length) noexcept {
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] == kCtrlZ) {
            Restart();
            continue;
        }
        if (!lines_.Step(bytes[i])) continue;
        if (lines_.Length() >= 5 && std::memcmp(lines_.Text(), "+CMGS", 5) == 0) reference_ = true;
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
    refusal_ = at::Refusal{};
}

}  // namespace vantor::link
