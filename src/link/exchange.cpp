// Command/answer exchanges with the modem: write a request, then poll the port
// with fixed pauses until the awaited pattern has arrived or the line has been
// silent for the reply time-out.
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
#include "link/exchange.h"

#include <cstring>

#include "diag/trace.h"
#include "os/os.h"

namespace vantor::link {
namespace {

constexpr std::uint32_t kExchangePauseMs = 10;
constexpr std::uint32_t kReceivePauseMs = 500;
constexpr char kFinalOk[] = "OK\r\n";
constexpr char kSendResult[] = "+CMGS";

// The silence a receive waits for, restarted by every chunk. The elapsed time
// is taken as an unsigned difference of tick counts, so the 32-bit wrap of the
// tick count neither ends a wait early nor makes it endless.
class SilenceDeadline {
public:
    explicit SilenceDeadline(std::int32_t replyTimeout) noexcept { Restart(replyTimeout); }

    // The reply time-out is read afresh at every restart. The host's field is
    // signed; a negative time-out waits no longer than a time-out of 0.
    void Restart(std::int32_t replyTimeout) noexcept {
        start_ = os::GetTickCount();
        timeout_ = replyTimeout < 0 ? 0u : static_cast<std::uint32_t>(replyTimeout);
    }

    // Passed once the tick count is beyond start + time-out.
    bool Passed() const noexcept {
        return static_cast<std::uint32_t>(os::GetTickCount() - start_) > timeout_;
    }

private:
    std::uint32_t start_ = 0;
    std::uint32_t timeout_ = 0;
};

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

int Exchange(const Line& line, std::uint8_t* buffer, std::int32_t* length) noexcept {
    if (buffer == nullptr || length == nullptr) return 0;
    const std::int32_t requestLength = *length;
    // The request lives in the 8192-byte buffer; a longer count would read
    // past it.
    if (requestLength > kAnswerSize) return 0;
    if (!WritePort(line.PortHandle, buffer, requestLength)) return 0;
    os::Sleep(kExchangePauseMs);
    TraceBytes("TX:", buffer, static_cast<std::size_t>(requestLength));

    std::memset(buffer, 0, static_cast<std::size_t>(requestLength));
    *length = 0;
    std::uint8_t chunk[kAnswerSize] = {};
    int result = 0;
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
            std::memcpy(buffer + *length, chunk, n);
            *length += static_cast<std::int32_t>(n);
            buffer[*length] = 0;
            result = IsAnswerComplete(reinterpret_cast<const char*>(buffer), *length, WaitOk);
            deadline.Restart(line.ReplyTimeout);
        }
        os::Sleep(kExchangePauseMs);
        if (result == 1 || expired) break;
    }
    TraceBytes("Rx: ", buffer, static_cast<std::size_t>(*length));
    return result;
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
    return result;
}

}  // namespace vantor::link
