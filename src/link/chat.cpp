#include "link/chat.h"

#include <cstdio>
#include <cstring>

#include "diag/at_errors.h"
#include "diag/trace.h"
#include "link/owed_answers.h"
#include "link/send_answers.h"
#include "os/os.h"

namespace vantor::link {
namespace {

constexpr std::size_t kShownDiscarded = 80;  // bytes of a discarded run in the trace

// The wait's bounds: the silence a chat allows, restarted by every chunk,
// inside the limit of the whole answer. Elapsed times are unsigned
// differences of tick counts, so the 32-bit wrap of the tick count neither
// ends a wait early nor makes it endless.
class Deadline {
public:
    Deadline(const Line& line, bool silenceEnds, std::uint32_t floorMs, std::uint32_t limitMs) noexcept
        : line_(line), silenceEnds_(silenceEnds), floorMs_(floorMs), limitMs_(limitMs),
          begin_(os::GetTickCount()) {
        Restart();
    }

    // The reply time-out is read afresh at every restart. The host's field is
    // signed; a negative time-out waits no longer than a time-out of 0.
    void Restart() noexcept {
        start_ = os::GetTickCount();
        timeout_ = line_.ReplyTimeout < 0 ? 0u : static_cast<std::uint32_t>(line_.ReplyTimeout);
        if (timeout_ < floorMs_) timeout_ = floorMs_;
    }

    // Passed once the tick count is beyond start + time-out, or the answer
    // has taken its whole limit.
    bool Passed() const noexcept {
        const std::uint32_t now = os::GetTickCount();
        return (silenceEnds_ && static_cast<std::uint32_t>(now - start_) > timeout_) ||
               static_cast<std::uint32_t>(now - begin_) >= limitMs_;
    }

private:
    const Line& line_;
    bool silenceEnds_;
    std::uint32_t floorMs_;
    std::uint32_t limitMs_;
    std::uint32_t begin_;
    std::uint32_t start_ = 0;
    std::uint32_t timeout_ = 0;
};

// Finds the echo of a command in the bytes that come back: the command line
// up to and including its carriage return, matched byte by byte as it
// arrives (Knuth-Morris-Pratt, so a false start inside stale bytes does not
// hide the real echo).
class EchoMatcher {
public:
    EchoMatcher(const std::uint8_t* request, std::int32_t length) noexcept {
        std::size_t n = 0;
        while (request != nullptr && n < static_cast<std::size_t>(length) && n < sizeof echo_) {
            echo_[n] = request[n];
            if (request[n++] == '\r') break;
        }
        length_ = n;
        std::size_t k = 0;
        for (std::size_t i = 1; i < length_; ++i) {
            while (k > 0 && echo_[i] != echo_[k]) k = fail_[k - 1];
            if (echo_[i] == echo_[k]) ++k;
            fail_[i] = static_cast<std::uint16_t>(k);
        }
    }

    bool Awaited() const noexcept { return length_ > 0 && !Found(); }
    bool Found() const noexcept { return matched_ == length_ && length_ > 0; }
    std::size_t Length() const noexcept { return length_; }

    // Feeds one byte; true when it completes the echo.
    bool Step(std::uint8_t b) noexcept {
        if (!Awaited()) return false;
        while (matched_ > 0 && b != echo_[matched_]) matched_ = fail_[matched_ - 1];
        if (b == echo_[matched_]) ++matched_;
        return Found();
    }

private:
    std::uint8_t echo_[kReadChunk] = {};
    std::uint16_t fail_[kReadChunk] = {};
    std::size_t length_ = 0;
    std::size_t matched_ = 0;
};

// Keeps a chunk in the answer buffer by its overflow rule; false when the
// wait must end (Overflow::kEnd).
bool Keep(const Answer& answer, const std::uint8_t* chunk, std::uint32_t n) noexcept {
    std::int32_t& length = *answer.length;
    const std::int32_t room = kAnswerSize - 1 - length;
    if (static_cast<std::int32_t>(n) > room) {
        switch (answer.overflow) {
            case Overflow::kEnd: return false;
            case Overflow::kDropChunk: return true;
            case Overflow::kKeepNewest: {
                const std::int32_t drop = static_cast<std::int32_t>(n) - room;
                std::memmove(answer.bytes, answer.bytes + drop, static_cast<std::size_t>(length - drop));
                length -= drop;
                break;
            }
        }
    }
    std::memcpy(answer.bytes + length, chunk, n);
    length += static_cast<std::int32_t>(n);
    answer.bytes[length] = 0;
    return true;
}

// The last four bytes that came, for the echo rule's "ends with OK".
class Tail {
public:
    void Take(const std::uint8_t* bytes, std::uint32_t n) noexcept {
        constexpr std::uint32_t kSize = sizeof last_;
        if (n >= kSize) {
            std::memcpy(last_, bytes + n - kSize, kSize);
        } else {
            std::memmove(last_, last_ + n, kSize - n);
            std::memcpy(last_ + kSize - n, bytes, n);
        }
        total_ += n;
    }
    bool EndsWithOk() const noexcept {
        return total_ >= sizeof last_ && std::memcmp(last_, "OK\r\n", sizeof last_) == 0;
    }

private:
    std::uint8_t last_[4] = {};
    std::uint32_t total_ = 0;
};

// Cuts what the line says into lines and hands each complete one to the
// line's table of the modem's own lines, to the first row it matches.
class UnsolicitedWatch {
public:
    // `inMessage`: the line that ends within these bytes is a message's own
    // (see at::Matcher::InMessage) and is not looked at.
    void Take(Line& line, const std::uint8_t* bytes, std::uint32_t n, bool inMessage = false) noexcept {
        for (std::uint32_t i = 0; i < n; ++i) {
            if (!lines_.Step(static_cast<char>(bytes[i])) || inMessage) continue;
            Hand(line, lines_.Text(), lines_.Length());
        }
    }

private:
    static void Hand(Line& line, const char* text, std::size_t length) noexcept {
        const UnsolicitedTable& table = line.Unsolicited;
        for (std::size_t r = 0; r < table.count; ++r) {
            const UnsolicitedRow& row = table.rows[r];
            const std::size_t n = std::strlen(row.text);
            if ((row.prefix ? length >= n : length == n) && std::memcmp(text, row.text, n) == 0) {
                row.handle(table.owner, line, text, length);
                return;
            }
        }
    }
    // Long enough for the longest line a modem says unasked: a status
    // report's PDU line, a 12-octet service-centre address and a TPDU of at
    // most 176 octets in hex.
    at::BasicLineSplitter<2 * (12 + 176)> lines_;
};

// Hands the matcher an answer's bytes line by line, and the watch each line
// the matcher did not take as a message's own: a listed body that spells
// "^SYSSTART" (in text mode the GSM character U with diaeresis is the byte
// '^') is text from a sender, not the modem restarting.
at::Verdict TakeLines(at::Matcher& matcher, UnsolicitedWatch& reports, Line& line,
                      const std::uint8_t* bytes, std::uint32_t n) noexcept {
    if (!matcher.ReadsMessages()) {
        reports.Take(line, bytes, n);
        return matcher.Take(reinterpret_cast<const char*>(bytes), n);
    }
    at::Verdict verdict = at::Verdict::kNotYet;
    for (std::uint32_t start = 0; start < n;) {
        const void* lf = std::memchr(bytes + start, '\n', n - start);
        const std::uint32_t end =
            lf != nullptr ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(lf) - bytes) + 1 : n;
        const bool deciding = verdict == at::Verdict::kNotYet;
        if (deciding) verdict = matcher.Take(reinterpret_cast<const char*>(bytes + start), end - start);
        reports.Take(line, bytes + start, end - start, deciding && matcher.InMessage());
        start = end;
    }
    return verdict;
}

bool WriteCommand(Line& line, const Command& command) noexcept {
    DrainLine(line, true);
    if (!WritePort(line.PortHandle, command.bytes, command.length)) return false;
    if (command.pauseMs > 0) os::Sleep(command.pauseMs);
    TraceBytes(command.tracePrefix, command.bytes, static_cast<std::size_t>(command.length));
    return true;
}

}  // namespace

std::uint32_t DrainLine(Line& line, bool trace) noexcept {
    std::uint8_t chunk[kReadChunk];
    std::uint8_t shown[kShownDiscarded];
    std::size_t kept = 0;
    std::uint32_t total = 0;
    UnsolicitedWatch reports;
    while (total < kDrainLimit) {
        std::uint32_t n = 0;
        if (!ReadPort(line.PortHandle, chunk, &n) || n == 0) break;
        PayOwed(line, chunk, n);
        reports.Take(line, chunk, n);
        const std::size_t take = n < sizeof shown - kept ? n : sizeof shown - kept;
        std::memcpy(shown + kept, chunk, take);
        kept += take;
        total += n;
    }
    // An AT+CMGS given up on prompted after all (its ESC came before the
    // modem took input) and waits for its message: it would take the next
    // command as the message's text. It is left first.
    if (line.Owed.results > 0 && line.Owed.prompted) {
        line.Owed.prompted = false;
        const std::uint8_t escape = kEsc;
        if (WritePort(line.PortHandle, &escape, 1)) TraceBytes("Tx: ", &escape, 1);
    }
    if (trace && total > 0) {
        char prefix[48];
        std::snprintf(prefix, sizeof prefix, "Discarded %u bytes: ", static_cast<unsigned>(total));
        TraceBytes(prefix, shown, kept);
    }
    return total;
}

Outcome Chat(Line& line, const Command& command, at::Matcher& matcher, const Pacing& pacing,
             const Answer* answer) noexcept {
    Outcome out;
    EchoMatcher echo(command.bytes, command.length);
    if (!Holds(line)) return out;
    if (command.bytes != nullptr && !WriteCommand(line, command)) return out;
    out.written = true;
    if (answer != nullptr) {
        std::memset(answer->bytes, 0, static_cast<std::size_t>(answer->clear));
        *answer->length = 0;
        answer->bytes[0] = 0;
    }

    std::uint8_t chunk[kReadChunk];
    UnsolicitedWatch reports;
    bool fed = false;  // the matcher has seen bytes
    std::uint32_t total = 0;
    Tail tail;
    Deadline deadline(line, pacing.silenceEnds, pacing.silenceFloorMs, pacing.limitMs);
    for (;;) {
        if (pacing.pauseBeforeRead) os::Sleep(pacing.pauseMs);
        const bool expired = deadline.Passed();
        // The owner of a shared handle may close it at any time.
        if (!Holds(line)) break;
        std::uint32_t n = 0;
        if (ReadPort(line.PortHandle, chunk, &n) && n >= 1) {
            if (answer != nullptr && !Keep(*answer, chunk, n)) break;
            if (pacing.traceEachChunk) {
                TraceBytes("Rx: ", chunk, n);
                TraceErrorMeanings(chunk, n);
            }
            std::uint32_t from = 0;
            std::uint32_t owedUpTo = n;  // where what earlier commands owe may still stand
            bool echoHere = false;
            if (echo.Awaited()) {
                std::uint32_t k = 0;
                while (k < n && !echo.Step(chunk[k])) ++k;
                if (echo.Found()) {
                    echoHere = true;
                    out.echoFound = true;
                    out.echoAt = static_cast<std::int32_t>(total + k + 1 - echo.Length());
                    owedUpTo = k + 1 >= echo.Length() ? k + 1 - static_cast<std::uint32_t>(echo.Length()) : 0;
                    if (pacing.gateOnEcho) {
                        from = k + 1;
                        if (fed) matcher.Restart();
                    }
                } else if (pacing.gateOnEcho && line.EchoSeen) {
                    from = n;
                }
            }
            // The modem answers in order: what it owed comes before anything
            // of this command's, and once it echoes this command it owes
            // nothing more.
            const std::uint32_t paid = PayOwed(line, chunk, owedUpTo);
            if (echoHere) Forgive(line);
            if (paid > from) from = paid;
            reports.Take(line, chunk, from);
            if (from < n) {
                out.verdict = TakeLines(matcher, reports, line, chunk + from, n - from);
                fed = true;
            }
            tail.Take(chunk, n);
            total += n;
            deadline.Restart();
        }
        const bool decided = out.verdict != at::Verdict::kNotYet;
        if (decided && !pacing.pauseAfterVerdict) break;
        if (!pacing.pauseBeforeRead) os::Sleep(pacing.pauseMs);
        if (decided || expired) break;
    }

    if (out.verdict == at::Verdict::kNotYet && fed) out.verdict = matcher.End();
    if (out.echoFound) line.EchoSeen = true;
    if (out.verdict == at::Verdict::kNotYet && echo.Awaited() && line.EchoSeen &&
        tail.EndsWithOk()) {
        line.EchoSeen = false;
        Trace("No echo from the modem: answers count from the command on\n");
    }
    if (!pacing.traceEachChunk && answer != nullptr) {
        TraceBytes("Rx: ", answer->bytes, static_cast<std::size_t>(*answer->length));
        TraceErrorMeanings(answer->bytes, static_cast<std::size_t>(*answer->length));
    }
    return out;
}

}  // namespace vantor::link
