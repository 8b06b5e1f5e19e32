// Command/answer exchanges with the modem: clean the line, write a request,
// then poll the port with fixed pauses until the awaited pattern has arrived
// after the command, the line has been silent for the reply time-out, or the
// answer limit is reached.
//
// Every command starts on a clean line: what waits there (a late answer to an
// earlier command, the OK to an ESC, the rest of an answer that was given up)
// is read, traced and dropped. A late answer can still be on its way while
// the next command goes out; once the modem has been seen echoing, an answer
// therefore counts only after the echo of its own command (the modem answers
// in order, so anything before the echo belongs to something earlier).
//
// Exchange and Receive look alike but stay two loops on purpose: their
// deadlines, their overflow handling and their traces differ, and the host's
// timings depend on each as it is.
// - Exchange polls every 10 ms and notes the deadline before the read (a chunk
//   read in the pass the deadline passed still counts); it waits only for
//   "OK\r\n", ends at the first chunk that would overflow the buffer, and
//   traces the request and the whole answer. Pinned by ExchangeTest's
//   ChunkReadInThePassTheDeadlinePassedStillCounts and
//   OverflowEndsAtOnceAndKeepsAtMost8191Bytes (tests/native/exchange_test.cpp).
// - Receive sleeps 500 ms before each read and checks the deadline after the
//   sleep; it completes on the mode it is given, drops a chunk that does not
//   fit and waits on, and traces every chunk. Pinned by ExchangeTest's
//   ShortTimeoutReceiveReadsExactlyOnceAt500Ms,
//   ReceiveChunkAfterTheDeadlineStillCounts and
//   ReceiveOverflowDropsChunksAndGoesOn.
// Both are run over every split of an answer by EverySplit/ChunkedAnswerTest.
// ExchangeStream is Exchange without a buffer: the listings use it so that an
// answer of any length is parsed as it arrives.
#include "link/exchange.h"

#include <cstdio>
#include <cstring>

#include "diag/at_errors.h"
#include "diag/trace.h"
#include "os/os.h"

namespace vantor::link {
namespace {

constexpr std::uint32_t kExchangePauseMs = 10;
constexpr std::uint32_t kReceivePauseMs = 500;
constexpr char kFinalOk[] = "OK\r\n";
constexpr char kSendResult[] = "+CMGS";
constexpr std::size_t kShownDiscarded = 80;  // bytes of a discarded run in the trace

// The silence a receive waits for, restarted by every chunk, inside the limit
// of the whole answer. Elapsed times are unsigned differences of tick counts,
// so the 32-bit wrap of the tick count neither ends a wait early nor makes it
// endless.
class SilenceDeadline {
public:
    explicit SilenceDeadline(std::int32_t replyTimeout) noexcept
        : begin_(os::GetTickCount()) {
        Restart(replyTimeout);
    }

    // The reply time-out is read afresh at every restart. The host's field is
    // signed; a negative time-out waits no longer than a time-out of 0.
    void Restart(std::int32_t replyTimeout) noexcept {
        start_ = os::GetTickCount();
        timeout_ = replyTimeout < 0 ? 0u : static_cast<std::uint32_t>(replyTimeout);
    }

    // Passed once the tick count is beyond start + time-out, or the answer
    // has taken its whole limit.
    bool Passed() const noexcept {
        const std::uint32_t now = os::GetTickCount();
        return static_cast<std::uint32_t>(now - start_) > timeout_ ||
               static_cast<std::uint32_t>(now - begin_) >= kAnswerLimitMs;
    }

private:
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
        while (n < static_cast<std::size_t>(length) && n < sizeof echo_) {
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

    bool Found() const noexcept { return matched_ == length_ && length_ > 0; }
    std::size_t Length() const noexcept { return length_; }

    // Feeds one byte; true when it completes the echo.
    bool Step(std::uint8_t b) noexcept {
        if (Found() || length_ == 0) return false;
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

// What an echo-less answer teaches: a modem seen echoing before that now
// answers a command with a final OK and no echo has echo turned off (ATE0
// stored in its profile); from then on answers count from the command on.
// The answer itself is not trusted: it may be a late one.
void LearnFromSilence(Line& line, const std::uint8_t* answer, std::int32_t length,
                      bool echoFound) noexcept {
    if (echoFound || !line.EchoSeen || length < 4) return;
    if (std::memcmp(answer + length - 4, kFinalOk, 4) != 0) return;
    line.EchoSeen = false;
    Trace("No echo from the modem: answers count from the command on\n");
}

bool StartCommand(Line& line, const std::uint8_t* request, std::int32_t length) noexcept {
    CleanLine(line.PortHandle);
    if (!WritePort(line.PortHandle, request, length)) return false;
    os::Sleep(kExchangePauseMs);
    TraceBytes("TX:", request, static_cast<std::size_t>(length));
    return true;
}

}  // namespace

std::uint32_t CleanLine(os::Handle port) noexcept {
    std::uint8_t chunk[kReadChunk];
    std::uint8_t shown[kShownDiscarded];
    std::size_t kept = 0;
    std::uint32_t total = 0;
    while (total < kDiscardLimit) {
        std::uint32_t n = 0;
        if (!ReadPort(port, chunk, &n) || n == 0) break;
        const std::size_t take = n < sizeof shown - kept ? n : sizeof shown - kept;
        std::memcpy(shown + kept, chunk, take);
        kept += take;
        total += n;
    }
    if (total > 0) {
        char prefix[48];
        std::snprintf(prefix, sizeof prefix, "Discarded %u bytes: ", static_cast<unsigned>(total));
        TraceBytes(prefix, shown, kept);
    }
    return total;
}

int IsAnswerComplete(const char* text, std::int32_t, std::int32_t mode) noexcept {
    if (text == nullptr) return 0;
    switch (mode) {
    case WaitOk:
        return std::strstr(text, kFinalOk) != nullptr ? 1 : 0;
    case WaitPrompt:
        return std::strchr(text, '>') != nullptr ? 1 : 0;
    case WaitSendResult:
        return std::strstr(text, kSendResult) != nullptr && std::strstr(text, kFinalOk) != nullptr
                   ? 1
                   : 0;
    case WaitAny:
        return 1;
    default:
        return 0;  // an unknown mode never completes
    }
}

namespace {

// Bytes that came after the command was written but before its echo belong
// to nothing the command asked for; the caller parses the answer as text from
// the start of the buffer, so it gets the answer as a clean line gives it:
// the echo first. The freed tail is zeroed, as the buffer's rest always is.
void DropBeforeEcho(std::uint8_t* buffer, std::int32_t* length, std::int32_t echoStart) noexcept {
    if (echoStart <= 0 || echoStart > *length) return;
    Trace("Discarded %d bytes before the echo\n", static_cast<int>(echoStart));
    const std::int32_t kept = *length - echoStart;
    std::memmove(buffer, buffer + echoStart, static_cast<std::size_t>(kept));
    std::memset(buffer + kept, 0, static_cast<std::size_t>(echoStart));
    *length = kept;
}

}  // namespace

int Exchange(Line& line, std::uint8_t* buffer, std::int32_t* length) noexcept {
    if (buffer == nullptr || length == nullptr) return 0;
    const std::int32_t requestLength = *length;
    // The request lives in the 8192-byte buffer; a longer count would read
    // past it.
    if (requestLength > kAnswerSize) return 0;
    EchoMatcher echo(buffer, requestLength);
    if (!StartCommand(line, buffer, requestLength)) return 0;

    std::memset(buffer, 0, static_cast<std::size_t>(requestLength));
    *length = 0;
    std::uint8_t chunk[kAnswerSize] = {};
    int result = 0;
    std::int32_t answerFrom = -1;  // just past the echo, once it came
    SilenceDeadline deadline(line.ReplyTimeout);
    for (;;) {
        // Noted before the read: a chunk read in the pass in which the
        // deadline passed is still appended and tested.
        const bool expired = deadline.Passed();
        std::uint32_t n = 0;
        if (ReadPort(line.PortHandle, chunk, &n) && n >= 1) {
            // At most 8191 answer bytes, so a zero always ends the text.
            if (static_cast<std::uint32_t>(*length) + n >= static_cast<std::uint32_t>(kAnswerSize))
                break;
            for (std::uint32_t i = 0; i < n && answerFrom < 0; ++i)
                if (echo.Step(chunk[i])) answerFrom = *length + static_cast<std::int32_t>(i) + 1;
            std::memcpy(buffer + *length, chunk, n);
            *length += static_cast<std::int32_t>(n);
            buffer[*length] = 0;
            const std::int32_t from = answerFrom >= 0 ? answerFrom : line.EchoSeen ? -1 : 0;
            result = from < 0 ? 0
                              : IsAnswerComplete(reinterpret_cast<const char*>(buffer + from),
                                                 *length - from, WaitOk);
            deadline.Restart(line.ReplyTimeout);
        }
        os::Sleep(kExchangePauseMs);
        if (result == 1 || expired) break;
    }
    if (answerFrom >= 0) line.EchoSeen = true;
    if (result == 0) LearnFromSilence(line, buffer, *length, answerFrom >= 0);
    TraceBytes("Rx: ", buffer, static_cast<std::size_t>(*length));
    TraceErrorMeanings(buffer, static_cast<std::size_t>(*length));
    if (result == 1 && answerFrom >= 0)
        DropBeforeEcho(buffer, length, answerFrom - static_cast<std::int32_t>(echo.Length()));
    return result;
}

int ExchangeStream(Line& line, const std::uint8_t* request, std::int32_t length,
                   AnswerSink& sink) noexcept {
    if (request == nullptr || length <= 0) return 0;
    EchoMatcher echo(request, length);
    if (!StartCommand(line, request, length)) return 0;

    std::uint8_t chunk[kReadChunk];
    AnswerSink::Status status = AnswerSink::kMore;
    std::uint32_t total = 0;
    // The last bytes seen, for learning about a modem without echo.
    std::uint8_t tail[4] = {};
    SilenceDeadline deadline(line.ReplyTimeout);
    for (;;) {
        const bool expired = deadline.Passed();
        std::uint32_t n = 0;
        if (ReadPort(line.PortHandle, chunk, &n) && n >= 1) {
            TraceBytes("Rx: ", chunk, n);
            TraceErrorMeanings(chunk, n);
            std::uint32_t from = 0;
            if (!echo.Found()) {
                while (from < n && !echo.Step(chunk[from])) ++from;
                if (echo.Found()) ++from;                 // past the echo
                else if (!line.EchoSeen) from = 0;        // no echo known: all of it
            }
            if (from < n) status = sink.Take(chunk + from, n - from);
            for (std::uint32_t i = 0; i < n; ++i) {
                std::memmove(tail, tail + 1, 3);
                tail[3] = chunk[i];
            }
            total += n;
            deadline.Restart(line.ReplyTimeout);
        }
        os::Sleep(kExchangePauseMs);
        if (status != AnswerSink::kMore || expired) break;
    }
    if (echo.Found()) line.EchoSeen = true;
    if (status == AnswerSink::kMore && total >= 4)
        LearnFromSilence(line, tail, 4, echo.Found());
    return status == AnswerSink::kOk ? 1 : 0;
}

Heard Await(const Line& line, std::uint8_t* buffer, std::int32_t* length, HeardFn heard,
            AwaitBound bound, std::uint32_t limitMs) noexcept {
    if (buffer == nullptr || length == nullptr || heard == nullptr) return Heard::kNothingYet;
    *length = 0;
    buffer[0] = 0;
    std::uint8_t chunk[kReadChunk];
    Heard result = Heard::kNothingYet;
    const std::uint32_t begin = os::GetTickCount();
    SilenceDeadline silence(line.ReplyTimeout);
    for (;;) {
        std::uint32_t n = 0;
        if (ReadPort(line.PortHandle, chunk, &n) && n >= 1) {
            // What does not fit pushes out the oldest bytes: what decides is
            // at the end.
            const std::int32_t room = kAnswerSize - 1 - *length;
            if (static_cast<std::int32_t>(n) > room) {
                const std::int32_t drop = static_cast<std::int32_t>(n) - room;
                std::memmove(buffer, buffer + drop, static_cast<std::size_t>(*length - drop));
                *length -= drop;
            }
            std::memcpy(buffer + *length, chunk, n);
            *length += static_cast<std::int32_t>(n);
            buffer[*length] = 0;
            result = heard(reinterpret_cast<const char*>(buffer), *length);
            silence.Restart(line.ReplyTimeout);
            if (result != Heard::kNothingYet) break;
        }
        if (static_cast<std::uint32_t>(os::GetTickCount() - begin) >= limitMs) break;
        if (bound == AwaitBound::kSilence && silence.Passed()) break;
        os::Sleep(kExchangePauseMs);
    }
    TraceBytes("Rx: ", buffer, static_cast<std::size_t>(*length));
    TraceErrorMeanings(buffer, static_cast<std::size_t>(*length));
    return result;
}

void NoteEcho(Line& line, const std::uint8_t* answer, std::int32_t length,
              const std::uint8_t* request, std::int32_t requestLength) noexcept {
    if (answer == nullptr || request == nullptr) return;
    EchoMatcher echo(request, requestLength);
    for (std::int32_t i = 0; i < length; ++i)
        if (echo.Step(answer[i])) {
            line.EchoSeen = true;
            return;
        }
}

int Send(const Line& line, const std::uint8_t* bytes, std::int32_t length) noexcept {
    if (bytes == nullptr) return 0;
    if (!WritePort(line.PortHandle, bytes, length)) return 0;
    TraceBytes("Tx: ", bytes, static_cast<std::size_t>(length));
    return 1;
}

int Receive(const Line& line, std::uint8_t* buffer, std::int32_t* length,
            std::int32_t mode) noexcept {
    if (buffer == nullptr || length == nullptr) return 0;
    *length = 0;
    std::uint8_t chunk[kAnswerSize] = {};
    int result = 0;
    bool expired = false;
    SilenceDeadline deadline(line.ReplyTimeout);
    while (!expired) {
        os::Sleep(kReceivePauseMs);
        expired = deadline.Passed();
        std::uint32_t n = 0;
        if (ReadPort(line.PortHandle, chunk, &n) && n >= 1) {
            // A chunk that does not fit is dropped and the wait goes on: the
            // first 8191 bytes are kept.
            if (static_cast<std::uint32_t>(*length) + n < static_cast<std::uint32_t>(kAnswerSize)) {
                Trace("Start Copy,nLen=%d,nByteRead=%d\n", static_cast<int>(*length),
                      static_cast<int>(n));
                std::memcpy(buffer + *length, chunk, n);
                *length += static_cast<std::int32_t>(n);
                buffer[*length] = 0;
            }
            Trace("Receive length =%d\n", static_cast<int>(*length));
            result = IsAnswerComplete(reinterpret_cast<const char*>(buffer), *length, mode);
            deadline.Restart(line.ReplyTimeout);
        }
        if (result == 1) break;
    }
    TraceBytes("Rx: ", buffer, static_cast<std::size_t>(*length));
    TraceErrorMeanings(buffer, static_cast<std::size_t>(*length));
    return result;
}

}  // namespace vantor::link
