// Helpers shared by the fuzz targets: reading control bytes off the input,
// checks that abort with a message, the store invariants, and a virtual modem
// that answers every write with the next fuzzer-chosen answer in
// fuzzer-chosen pieces and pauses.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/gsm_modem.h"
#include "os/virt/virt.h"
#include "port_config.h"
#include "timed_bytes.h"

namespace fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_CHECK(c) ((c) ? (void)0 : ::fuzz::Fail(#c, __FILE__, __LINE__))

// The input read front to back; past its end every byte reads as 0.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    std::uint8_t Byte() { return n_ ? (--n_, *p_++) : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    std::string Bytes(std::size_t max) {
        const std::size_t k = std::min(max, n_);
        std::string s(reinterpret_cast<const char*>(p_), k);
        p_ += k;
        n_ -= k;
        return s;
    }
    std::string Rest() { return Bytes(n_); }
    std::size_t Left() const { return n_; }

private:
    const std::uint8_t* p_;
    std::size_t n_;
};

// `text` and its zero in a buffer of exactly that size, so that a read past
// the zero is an overflow ASan reports.
inline std::unique_ptr<char[]> ExactCopy(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

// True when the text ends with a GBK lead byte that has no trail byte:
// walked from the start, a byte 0x81..0xFE begins a two-byte character.
inline bool EndsInHalfGbk(const char* text, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x81 && c <= 0xFE) {
            if (i + 1 >= n) return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

// Every slot holds a terminated text of at most 255 bytes; with `whole`, none
// ends in half a GBK character.
inline void CheckSlots(const vantor::Slot* slots, int count, bool whole) {
    for (int i = 0; i < count; ++i) {
        const void* nul = std::memchr(slots[i], '\0', vantor::kSlotSize);
        FUZZ_CHECK(nul != nullptr);
        const auto n = static_cast<std::size_t>(static_cast<const char*>(nul) - slots[i]);
        FUZZ_CHECK(n <= 255);
        if (whole) FUZZ_CHECK(!EndsInHalfGbk(slots[i], n));
    }
}

// A modem whose answers come from the input. Each write the driver makes
// releases the next answer, cut into pieces by a plan: plan byte k gives the
// size of piece k (low 6 bits: 1..64 bytes, or 0 = 512) and the pause before
// it (high 2 bits: 0, 10, 400 or 1100 ms, past every reply time-out the
// targets set). The plan repeats; only the first 32 pieces of an answer
// pause, so that an input cannot make a run of virtual hours.
class ChunkPeer final : public os::virt::Peer {
public:
    void SetPlan(std::string plan) { plan_ = std::move(plan); }
    void AddAnswer(std::string answer) { answers_.push_back(std::move(answer)); }
    // Schedules the next answer now, without a write (bytes already on the line).
    void ReleaseNext(std::uint64_t now) {
        if (answers_.empty()) return;
        Schedule(now, answers_.front());
        answers_.pop_front();
    }
    // Every byte scheduled so far, in order.
    const std::string& Released() const { return released_; }
    const std::string& Written() const { return written_; }

    void Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) override {
        written_.append(reinterpret_cast<const char*>(bytes), length);
        ReleaseNext(now);
    }
    std::size_t Pending(std::uint64_t now) override { return queue_.Pending(now); }
    std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t now) override {
        return queue_.Take(out, max, now);
    }
    void Purge(std::uint64_t now) override { queue_.DropArrived(now); }

private:
    static constexpr std::uint32_t kPauses[4] = {0, 10, 400, 1100};

    void Schedule(std::uint64_t now, const std::string& answer) {
        // Later answers queue behind what is still on its way.
        std::uint64_t at = queue_.Empty() ? now : std::max(now, queue_.LastAt());
        for (std::size_t i = 0, k = 0; i < answer.size(); ++k) {
            const auto step = plan_.empty() ? std::uint8_t{0}
                                            : static_cast<std::uint8_t>(plan_[k % plan_.size()]);
            const std::size_t size = (step & 0x3F) ? (step & 0x3F) : 512;
            if (k < 32 && !plan_.empty()) at += kPauses[step >> 6];
            const std::string piece = answer.substr(i, size);
            // `at` never goes back, so each piece lands at the end.
            queue_.Insert(at, piece);
            released_ += piece;
            i += piece.size();
        }
    }

    std::string plan_;
    std::deque<std::string> answers_;
    vantor::test::TimedBytes queue_;
    std::string released_;
    std::string written_;
};

// Splits `text` at every "\xFF\xFF" (a pair no GBK text holds).
inline std::vector<std::string> SplitAnswers(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find("\xFF\xFF", from);
        if (at == std::string::npos) break;
        parts.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    parts.push_back(text.substr(from));
    return parts;
}

// A fresh virtual OS with `peer` behind COM1, opened by `modem`.
inline void OpenOn(vantor::CGsmModem& modem, ChunkPeer& peer, std::int16_t replyTimeout) {
    os::virt::Reset();
    os::virt::RecordPortCalls(false);
    os::virt::AddPort("COM1", &peer);
    vantor::PortConfig config = vantor::test::MakePortConfig("COM1", 9600, replyTimeout);
    FUZZ_CHECK(modem.OpenPort(&config) == 1);
}

inline void Close(vantor::CGsmModem& modem) {
    modem.ClosePort();
    FUZZ_CHECK(os::virt::OpenHandleCount() == 0);
    os::virt::Reset();
}

// An uppercase hex digit's value, -1 for anything else.
inline int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Octet k of a PDU in hex text.
inline int Octet(const char* pdu, int k) { return Hex(pdu[2 * k]) << 4 | Hex(pdu[2 * k + 1]); }

}  // namespace fuzz
