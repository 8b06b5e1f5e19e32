#include "link/owed_answers.h"

#include <cstring>

#include "diag/trace.h"
#include "link/chat.h"
#include "link/send_answers.h"
#include "link/serial_port.h"
#include "os/os.h"

namespace vantor::link {

void Owe(Line& line, bool verdict) noexcept {
    OwedAnswers& o = line.Owed;
    if (o.results == 0) {
        o.verdict = verdict;
        o.reference = -1;
        o.lines.Clear();
    }
    // Another answer is owed only when the modem has paid some since the
    // last was given up: one that says nothing at all (lost, or busy) may
    // not have heard the later command, and a count it never pays would
    // take the answers of the commands after it.
    if (o.results == 0 || (o.heard && o.results < 8)) ++o.results;
    o.heard = false;
    o.since = os::GetTickCount();
}

void Forgive(Line& line) noexcept {
    if (line.Owed.results == 0) return;
    Trace("%u owed answer(s) forgiven: the modem has moved on\n",
          static_cast<unsigned>(line.Owed.results));
    line.Owed.results = 0;
    line.Owed.verdict = false;
}

std::uint32_t PayOwed(Line& line, const std::uint8_t* bytes, std::uint32_t n) noexcept {
    OwedAnswers& o = line.Owed;
    if (o.results == 0) return 0;
    const std::uint32_t limit = o.verdict ? kOwedVerdictLimitMs : kAnswerLimitMs;
    if (static_cast<std::uint32_t>(os::GetTickCount() - o.since) >= limit) {
        Trace("%u owed answer(s) given up after %u s\n", static_cast<unsigned>(o.results),
              static_cast<unsigned>(limit / 1000));
        o.results = 0;
        o.verdict = false;
        return 0;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        if (bytes[i] == '>') o.prompted = true;
        if (!o.lines.Step(static_cast<char>(bytes[i]))) continue;
        o.prompted = false;
        const char* text = o.lines.Text();
        const std::size_t length = o.lines.Length();
        if (o.verdict && length >= 5 && std::memcmp(text, "+CMGS", 5) == 0)
            o.reference = SendVerdict::ReferenceOf(text + 5, length - 5);
        const at::Verdict result = o.lines.Result();
        if (result == at::Verdict::kNotYet) continue;
        if (o.verdict) {
            LateVerdict& late = line.Late;
            late = LateVerdict{};
            late.came = true;
            late.sent = result == at::Verdict::kDone && o.reference >= 0;
            late.reference = late.sent ? o.reference : -1;
            if (result == at::Verdict::kRefused) late.refusal = at::RefusalOf(text, length);
            late.since = o.since;
            late.at = os::GetTickCount();
            o.verdict = false;
        }
        --o.results;
        o.heard = true;
        if (o.results == 0) {
            o.prompted = false;
            return i + 1;
        }
    }
    return n;
}

}  // namespace vantor::link
