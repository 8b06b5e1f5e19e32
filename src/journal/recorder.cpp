#include "journal/recorder.h"

#include <cstdio>
#include <cstring>

#include "diag/at_errors.h"
#include "journal/day_file.h"
#include "journal/line_format.h"
#include "journal/listed_message.h"
#include "os/os.h"

namespace vantor::journal {
namespace {

// `from` (a null one is empty), cut to fit.
template <std::size_t N>
void Copy(char (&to)[N], const char* from, std::size_t length = static_cast<std::size_t>(-1)) noexcept {
    const std::size_t n = from == nullptr ? 0 : strnlen(from, length < N - 1 ? length : N - 1);
    if (n > 0) std::memcpy(to, from, n);
    to[n] = '\0';
}

bool SameDay(const os::SystemTime& a, const os::SystemTime& b) noexcept {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

// "+CMS ERROR: 42" and its meaning, from a refusal's code.
void PutCode(const at::Refusal& r, Event& e) noexcept {
    const char* meaning = nullptr;
    if (DescribeRefusal(r, e.error, &meaning)) Copy(e.meaning, meaning);
}

// A refusal's line: its time, the part, whether it was tried again, and
// what the modem said.
void PutRefusal(const SendOutcome::Refusal& r, int parts, Event& e) noexcept {
    e.time = r.at;
    if (parts > 1) std::snprintf(e.parts, sizeof e.parts, "%d/%d", r.part, parts);
    else Copy(e.parts, "1");
    Copy(e.result, r.triedAgain ? "refused, tried again" : "refused, not tried again");
    if (r.unsendable) {
        Copy(e.meaning, "the modem cannot take this message");
    } else if (r.code.kind != at::Refusal::Kind::kNone && r.code.code >= 0) {
        PutCode(r.code, e);
    } else if (r.atPrompt) {
        Copy(e.error, "ERROR");
        Copy(e.meaning, "refused instead of the prompt");
    } else {
        Copy(e.meaning, "no prompt, or refused without a code");
    }
}

// "12 13 ?": the references of the parts confirmed, '?' where the modem
// named none.
void PutReferences(const SendOutcome& o, Event& e) noexcept {
    std::size_t used = 0;
    for (int k = 0; k < o.confirmed && used + 6 < sizeof e.references; ++k) {
        const int mr = o.references[k];
        const int n = mr < 0 ? std::snprintf(e.references + used, sizeof e.references - used, "%s?", k ? " " : "")
                             : std::snprintf(e.references + used, sizeof e.references - used, "%s%d", k ? " " : "", mr);
        if (n > 0) used += static_cast<std::size_t>(n);
    }
}

// "2026-12-09 08:30:15 +08:00" from a service centre's time stamp (TS
// 23.040 9.2.3.11: the zone in quarters of an hour); false when the stamp
// is not whole.
bool StampText(const sms::TimeStamp& t, char (&out)[32]) noexcept {
    if (t.octets < 6) return false;
    for (const char c : t.digits)
        if (c < '0' || c > '9') return false;
    const char* d = t.digits;
    int n = std::snprintf(out, sizeof out, "20%.2s-%.2s-%.2s %.2s:%.2s:%.2s", d, d + 2, d + 4, d + 6, d + 8,
                          d + 10);
    if (t.hasZone && n > 0) {
        const int minutes = 15 * (t.zone < 0 ? -t.zone : t.zone);
        std::snprintf(out + n, sizeof out - static_cast<std::size_t>(n), " %c%02d:%02d",
                      t.zone < 0 ? '-' : '+', minutes / 60, minutes % 60);
    }
    return true;
}

// The last final result line of an answer ("OK", "ERROR", "+CMS ERROR: 321"),
// into `line`; false when none came.
bool FinalLine(const std::uint8_t* answer, std::size_t length, char (&line)[32]) noexcept {
    bool found = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= length; ++i) {
        if (i < length && answer[i] != '\n') continue;
        std::size_t end = i;
        if (end > start && answer[end - 1] == '\r') --end;
        const char* text = reinterpret_cast<const char*>(answer + start);
        if (end > start && at::FinalResult(text, end - start) != at::Verdict::kNotYet) {
            Copy(line, text, end - start);
            found = true;
        }
        start = i + 1;
    }
    return found;
}

}  // namespace

Event& Recorder::Begin(EventKind kind) noexcept {
    event_ = Event{};
    event_.kind = kind;
    StampNow(event_);
    Copy(event_.port, port_[0] != '\0' ? port_ : configuredPort_);
    return event_;
}

void Recorder::Put(const Event& event) noexcept {
    char line[kMaxLineSize];
    const std::size_t length = FormatLine(event, line, sizeof line);
    if (length == 0) return;
    if (used_ > 0 && (!SameDay(day_, event.time) || used_ + length > sizeof lines_)) {
        AppendLines(day_, lines_, used_);
        used_ = 0;
    }
    std::memcpy(lines_ + used_, line, length);
    used_ += length;
    day_ = event.time;
}

void Recorder::Flush() noexcept {
    if (used_ == 0) {
        RetryWaitingLines();
        return;
    }
    AppendLines(day_, lines_, used_);
    used_ = 0;
}

// --- sending ---

void Recorder::Sent(const char* number, const char* text, const SendOutcome& o) noexcept {
    // The number and text once, in UTF-8, for every line of the send.
    char numberUtf8[sizeof Event::number];
    char textUtf8[sizeof Event::text];
    AnsiToUtf8(number, strnlen(number, sizeof numberUtf8), numberUtf8, sizeof numberUtf8);
    AnsiToUtf8(text, strnlen(text, sizeof textUtf8), textUtf8, sizeof textUtf8);
    const auto begin = [&](EventKind kind) -> Event& {
        Event& e = Begin(kind);
        Copy(e.number, numberUtf8);
        Copy(e.text, textUtf8);
        return e;
    };

    for (int i = 0; i < o.refusalCount; ++i) {
        Event& e = begin(EventKind::kRefused);
        PutRefusal(o.refusals[i], o.parts, e);
        Put(e);
    }
    if (o.refusalsNotKept > 0) {
        Event& e = begin(EventKind::kRefused);
        std::snprintf(e.result, sizeof e.result, "refused %d more times", o.refusalsNotKept);
        Put(e);
    }
    if (o.result == SendOutcome::Result::kNotSent) {
        // Refused before any attempt (a long message whose part cannot be
        // encoded): one line says so.
        if (o.refusalCount == 0) {
            Event& e = begin(EventKind::kRefused);
            Copy(e.result, "refused, not tried again");
            Copy(e.meaning, "the message cannot be sent");
            Put(e);
        }
        return;
    }
    const bool sent = o.result == SendOutcome::Result::kSent;
    Event& e = begin(sent ? EventKind::kSent : EventKind::kUnknown);
    std::snprintf(e.parts, sizeof e.parts, "%d", o.parts > 0 ? o.parts : 1);
    PutReferences(o, e);
    if (!sent) {
        Copy(e.result, "outcome unknown, not tried again");
        Copy(e.meaning, "no final result within 60 s of the Ctrl-Z");
    } else if (o.alreadySent) {
        Copy(e.result, "ok, confirmed late before: not sent again");
    } else if (o.firstPart > 1) {
        std::snprintf(e.result, sizeof e.result, "ok, resumed from part %d", o.firstPart);
    } else {
        Copy(e.result, "ok");
    }
    Put(e);
}

void Recorder::LateVerdict(const char* number, const char* text, int part, int parts, bool sent,
                           int mr, const at::Refusal& refusal, unsigned seconds) noexcept {
    // A line of its own: the event of a send in progress stays as it is.
    Event e;
    e.kind = sent ? EventKind::kSent : EventKind::kRefused;
    StampNow(e);
    Copy(e.port, port_[0] != '\0' ? port_ : configuredPort_);
    AnsiToUtf8(number, strnlen(number, sizeof e.number), e.number, sizeof e.number);
    AnsiToUtf8(text, strnlen(text, sizeof e.text), e.text, sizeof e.text);
    if (parts > 1) std::snprintf(e.parts, sizeof e.parts, "%d/%d", part, parts);
    else Copy(e.parts, "1");
    if (sent && mr >= 0) std::snprintf(e.references, sizeof e.references, "%d", mr);
    std::snprintf(e.result, sizeof e.result, "%s, verdict %u s late", sent ? "sent" : "refused", seconds);
    if (!sent) PutCode(refusal, e);
    Put(e);
}

// --- status reports ---

void Recorder::Reported(const char* number, const char* text, int part, int parts, int mr,
                        const Delivery& d) noexcept {
    Event& e = Begin(d.state == 0   ? EventKind::kDelivered
                     : d.state == 1 ? EventKind::kStillTrying
                                    : EventKind::kNotDelivered);
    AnsiToUtf8(number, strnlen(number, sizeof e.number), e.number, sizeof e.number);
    AnsiToUtf8(text, strnlen(text, sizeof e.text), e.text, sizeof e.text);
    if (parts > 1) std::snprintf(e.parts, sizeof e.parts, "%d/%d", part, parts);
    else if (parts == 1) Copy(e.parts, "1");
    std::snprintf(e.references, sizeof e.references, "%d", mr);
    static const char* const kWhen[] = {"delivered", "still trying, last tried", "not delivered, given up"};
    char when[32] = "";
    StampText(d.discharged, when);
    int n = std::snprintf(e.result, sizeof e.result, "%s %s", kWhen[d.state < 0 || d.state > 2 ? 2 : d.state], when);
    if (d.seconds >= 0 && n > 0)
        n += std::snprintf(e.result + n, sizeof e.result - static_cast<std::size_t>(n), ", %lld s after sending",
                           static_cast<long long>(d.seconds));
    if (d.wholeMessage && n > 0 && static_cast<std::size_t>(n) < sizeof e.result)
        std::snprintf(e.result + n, sizeof e.result - static_cast<std::size_t>(n), "; all %d parts", parts);
    std::snprintf(e.error, sizeof e.error, "status %d", d.status);
    Copy(e.meaning, d.meaning);
    Put(e);
}

// --- the rest ---

void Recorder::Listed(const sms::Received& m, bool unread) noexcept {
    // A status report in the store is no message received.
    const int index = m.IndexNumber();
    if (index < 0 || m.reach == sms::ReceivedReach::kStatusReport) return;
    char port[sizeof event_.port];
    Copy(port, port_[0] != '\0' ? port_ : configuredPort_);
    if (!FirstSight(MessageKey(port, m))) return;
    Event& e = Begin(EventKind::kReceived);
    std::size_t n = 0;
    if (m.international) e.number[n++] = '+';
    WideToUtf8(m.sender, static_cast<std::size_t>(m.senderUnits), e.number + n, sizeof e.number - n);
    if (m.parts != 0) std::snprintf(e.parts, sizeof e.parts, "%d/%d", m.part, m.parts);
    else Copy(e.parts, "1");
    std::snprintf(e.references, sizeof e.references, "%d", index);
    char stamp[32];
    const bool stamped = StampText(m.stamp, stamp);
    std::snprintf(e.result, sizeof e.result, "%s%s%s", unread ? "unread" : "read",
                  stamped ? ", stamped " : "", stamped ? stamp : "");
    if (m.nonText)
        WideToUtf8(sms::kNonTextNotice, sms::kNonTextNoticeUnits, e.text, sizeof e.text);
    else
        WideToUtf8(m.text, static_cast<std::size_t>(m.textUnits), e.text, sizeof e.text);
    Put(e);
}

void Recorder::Deleted(int index, const std::uint8_t* answer, std::size_t length,
                       bool deleted) noexcept {
    Event& e = Begin(EventKind::kDeleted);
    std::snprintf(e.references, sizeof e.references, "%d", index);
    char line[32];
    const bool answered = answer != nullptr && FinalLine(answer, length, line);
    if (deleted) {
        Copy(e.result, answered ? line : "OK");
    } else {
        Copy(e.result, "not deleted");
        if (answered) {
            Copy(e.error, line);
            PutCode(at::RefusalOf(line, std::strlen(line)), e);
        } else {
            Copy(e.meaning, "no answer");
        }
    }
    Put(e);
}

void Recorder::LinkLost(int failures, bool reopened) noexcept {
    Event& e = Begin(EventKind::kLinkLost);
    std::snprintf(e.result, sizeof e.result, "%d link tests failed; port %s", failures,
                  reopened ? "reopened" : "could not be reopened");
    Put(e);
    linkLost_ = true;
    lostAt_ = os::GetTickCount();
}

void Recorder::LinkPassed() noexcept {
    if (!linkLost_) return;
    linkLost_ = false;
    Event& e = Begin(EventKind::kLinkBack);
    std::snprintf(e.result, sizeof e.result, "the modem answers again, %u s after the link was lost",
                  static_cast<unsigned>((os::GetTickCount() - lostAt_) / 1000));
    Put(e);
}

void Recorder::Restarted(int format) noexcept {
    Event& e = Begin(EventKind::kRestarted);
    if (format >= 0)
        std::snprintf(e.result, sizeof e.result, "message format %d restored", format);
    else
        Copy(e.result, "no setting to restore");
    Put(e);
}

void ForgetModuleState() noexcept {
    ForgetSeenMessages();
    ForgetWriterState();
}

}  // namespace vantor::journal
