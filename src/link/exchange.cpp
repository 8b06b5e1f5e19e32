// The named exchanges over the chat engine. Their pacing and buffer rules
// differ, and the host's timings depend on each as it is:
// - Exchange reads every 10 ms and also pauses after the read that completed
//   the answer; a chunk that would overflow its 8191 bytes ends the wait; it
//   traces the request and, at the end, the whole answer.
// - Receive pauses 500 ms before each read, so its first read comes 500 ms
//   after the call whatever the reply time-out; a chunk that does not fit is
//   dropped and the wait goes on; it traces every chunk.
#include "link/exchange.h"

#include <cstring>

#include "diag/trace.h"
#include "os/os.h"

namespace vantor::link {
namespace {

constexpr char kFinalOk[] = "OK\r\n";
constexpr char kSendResult[] = "+CMGS";

// An ordinary command is complete at its OK line. An error line does not end
// the wait: the host has always seen a refused command as one reply time-out
// of silence after the refusal. The answer is text: a zero byte ends it, and
// nothing after it completes the answer.
class OkLine final : public at::Matcher {
public:
    at::Verdict Take(const char* bytes, std::size_t length) noexcept override {
        for (std::size_t i = 0; i < length && !ended_; ++i) {
            ended_ = bytes[i] == '\0';
            if (lines_.Step(bytes[i]) && lines_.Result() == at::Verdict::kDone)
                return at::Verdict::kDone;
        }
        return at::Verdict::kNotYet;
    }
    void Restart() noexcept override {
        lines_.Clear();
        ended_ = false;
    }

private:
    at::LineSplitter lines_;
    bool ended_ = false;
};

// A receive tests the whole text it has kept for its completion pattern after
// every chunk, and traces what it kept.
class CompletionPattern final : public at::Matcher {
public:
    CompletionPattern(const std::uint8_t* buffer, const std::int32_t* length,
                      std::int32_t mode) noexcept
        : buffer_(buffer), length_(length), mode_(mode) {}

    at::Verdict Take(const char*, std::size_t n) noexcept override {
        if (*length_ != kept_) {
            Trace("Start Copy,nLen=%d,nByteRead=%d\n", static_cast<int>(kept_), static_cast<int>(n));
            kept_ = *length_;
        }
        Trace("Receive length =%d\n", static_cast<int>(kept_));
        return IsAnswerComplete(reinterpret_cast<const char*>(buffer_), kept_, mode_) == 1
                   ? at::Verdict::kDone
                   : at::Verdict::kNotYet;
    }
    void Restart() noexcept override {}

private:
    const std::uint8_t* buffer_;
    const std::int32_t* length_;
    std::int32_t mode_;
    std::int32_t kept_ = 0;
};

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

int Exchange(Line& line, std::uint8_t* buffer, std::int32_t* length) noexcept {
    if (buffer == nullptr || length == nullptr) return 0;
    const std::int32_t requestLength = *length;
    // The request lives in the 8192-byte buffer; a longer count would read
    // past it.
    if (requestLength > kAnswerSize) return 0;
    OkLine ok;
    const Answer answer{buffer, length, Overflow::kEnd, requestLength};
    // The request is also the echo to look for: the chat notes it before the
    // answer overwrites it.
    const Outcome out = Chat(line, Command{buffer, requestLength}, ok, Pacing::Command(), &answer);
    if (out.verdict != at::Verdict::kDone) return 0;
    if (out.echoFound) DropBeforeEcho(buffer, length, out.echoAt);
    return 1;
}

int Send(Line& line, const std::uint8_t* bytes, std::int32_t length) noexcept {
    if (bytes == nullptr || !Holds(line)) return 0;
    if (!WritePort(line.PortHandle, bytes, length)) return 0;
    TraceBytes("Tx: ", bytes, static_cast<std::size_t>(length));
    return 1;
}

int Receive(Line& line, std::uint8_t* buffer, std::int32_t* length, std::int32_t mode) noexcept {
    if (buffer == nullptr || length == nullptr) return 0;
    CompletionPattern pattern(buffer, length, mode);
    const Answer answer{buffer, length, Overflow::kDropChunk, 0};
    return Chat(line, Command{}, pattern, Pacing::Receive(), &answer).verdict == at::Verdict::kDone ? 1 : 0;
}

}  // namespace vantor::link
