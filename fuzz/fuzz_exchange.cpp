// Exchange and LinklevelReceive over a line whose bytes, piece sizes and
// pauses come from the input. The answer never exceeds 8191 bytes, is always
// terminated, is exactly what arrived (Exchange: the first bytes of the
// stream, or on success the stream from the command's echo on;
// LinklevelReceive: whole pieces in order), and success means the awaited
// pattern is in it as text (Exchange: an OK line before any zero byte).
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"

using namespace vantor;

namespace {

// A line "OK" (ended by LF, a CR before the LF not counted) in the text up to
// its first zero byte.
bool HasOkLine(const std::string& answer) {
    const std::string text = answer.substr(0, answer.find('\0'));
    for (std::size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "OK") return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t control = in.Byte();
    // Reply time-outs from -1 to 1022 ms, and now and then any value the
    // host's 16-bit field can hold (longer ones than 1100 ms wait the same
    // way, only longer: they are folded to 1100..1115 ms).
    std::int16_t timeout = static_cast<std::int16_t>((in.U16() & 0x3FF) - 1);
    if ((control & 0x60) == 0x60) {
        timeout = static_cast<std::int16_t>(in.U16());
        if (timeout > 1100) timeout = static_cast<std::int16_t>(1100 + timeout % 16);
    }
    const std::string plan = in.Bytes(1 + in.Byte() % 8);
    const std::string stream = in.Rest();

    auto modem = std::make_unique<CGsmModem>();
    fuzz::ChunkPeer peer;
    peer.SetPlan(plan);
    peer.AddAnswer(stream);
    fuzz::OpenOn(*modem, peer, 0);
    modem->line.ReplyTimeout = timeout;

    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kAnswerSize]());
    std::int32_t length = 0;
    int result = 0;
    std::int32_t mode = WaitOk;
    const bool exchange = (control & 0x80) == 0;
    if (exchange) {
        std::memcpy(buffer.get(), "AT\r\n", 4);
        length = 4;
        result = modem->Exchange(buffer.get(), &length, 0);
    } else {
        constexpr std::int32_t kModes[] = {WaitOk, WaitPrompt, WaitSendResult, WaitAny, 3, -1};
        mode = kModes[(control & 0x3F) % 6];
        peer.ReleaseNext(os::virt::Now());
        result = modem->LinklevelReceive(buffer.get(), &length, mode);
    }

    FUZZ_CHECK(length >= 0 && length <= kAnswerSize - 1);
    FUZZ_CHECK(buffer[length] == 0);
    static const std::uint8_t kZeros[kAnswerSize] = {};
    FUZZ_CHECK(std::memcmp(buffer.get() + length, kZeros, kAnswerSize - length) == 0);
    const std::string got(reinterpret_cast<const char*>(buffer.get()),
                          static_cast<std::size_t>(length));
    const std::string& sent = peer.Released();
    if (exchange) {
        // The first bytes of the stream, or, once the echo came, the stream
        // from the echo on (what came before it is dropped).
        FUZZ_CHECK(sent.compare(0, got.size(), got) == 0 ||
                   (result == 1 && got.compare(0, 3, "AT\r") == 0 &&
                    sent.find(got) != std::string::npos));
    } else {
        // Pieces are dropped whole: what was kept is a subsequence in order.
        std::size_t at = 0;
        for (char c : got) {
            at = sent.find(c, at);
            FUZZ_CHECK(at != std::string::npos);
            ++at;
        }
    }
    if (result == 1 && exchange) {
        // The answer counts from the command's echo on, when it came.
        FUZZ_CHECK(HasOkLine(got) || (got.compare(0, 3, "AT\r") == 0 && HasOkLine(got.substr(3))));
    } else if (result == 1) {
        FUZZ_CHECK(CGsmModem::IsAnswerComplete(got.c_str(), length, mode) == 1);
    } else {
        FUZZ_CHECK(result == 0);
    }
    fuzz::Close(*modem);
    return 0;
}
