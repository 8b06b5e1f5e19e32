// ScriptedPeer: a small fake modem for the virtual serial ports of the native
// tests. It records what the driver writes and replays scripted answers in
// virtual time.
//
//   vantor::test::ScriptedPeer modem;
//   os::virt::AddPort("COM1", &modem);
//   modem.OnWrite("AT+CMGF?", "\r\n+CMGF: 0\r\n\r\nOK\r\n", 30);  // 30 ms after that write
//   modem.At(1000, "RING\r\n");         // readable from virtual time 1000 ms on
//   modem.SetChunking(3, 2);            // later answers come as 3-byte pieces, 2 ms apart
//   ... run the driver ...
//   EXPECT_EQ(modem.Written(), "AT+CMGF?\r\n");
//
// Silence is the default: a peer with no rules never answers. Times are the
// virtual clock's milliseconds (os::virt::Now()). The peer is not owned by the
// port; keep it alive as long as the port exists (os::virt::Reset drops ports).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "os/virt/virt.h"
#include "timed_bytes.h"

namespace vantor::test {

class ScriptedPeer final : public os::virt::Peer {
public:
    // One WriteFile the driver made.
    struct Write {
        std::uint64_t at;
        std::string bytes;
    };

    // Every answer scheduled from now on is cut into pieces of `size` bytes
    // (0: whole), piece k released `gapMs` * k after the answer's time. Run a
    // test with every size 1..8 to meet each way a pattern can be split.
    void SetChunking(std::size_t size, std::uint32_t gapMs = 1) {
        chunkSize_ = size;
        chunkGap_ = gapMs;
    }

    // `bytes` become readable at virtual time `at`.
    void At(std::uint64_t at, std::string_view bytes) { Schedule(at, bytes); }

    // When the bytes written since the last fired rule contain `trigger`,
    // `answer` becomes readable `delayMs` after that write. Rules are tried in
    // the order they were added; a rule fires `times` times (0: every time).
    // An empty answer swallows the command (a modem that stays silent to it).
    void OnWrite(std::string trigger, std::string answer, std::uint32_t delayMs = 0,
                 int times = 1) {
        rules_.push_back(Rule{std::move(trigger), std::move(answer), delayMs, times});
    }
    void ClearRules() { rules_.clear(); }

    // Echo every written byte back at once, as a modem with E1 does.
    void SetEcho(bool on) { echo_ = on; }

    // A stream of `total` bytes (`pattern` repeated), `perBurst` bytes every
    // `everyMs` from virtual time `from` on: a modem that never stops talking.
    void Flood(std::uint64_t from, std::size_t total, std::size_t perBurst, std::uint32_t everyMs,
               std::string_view pattern = "x") {
        std::string burst;
        std::size_t produced = 0;
        for (std::uint64_t t = from; produced < total; t += everyMs) {
            burst.clear();
            for (std::size_t i = 0; i < perBurst && produced < total; ++i, ++produced)
                burst.push_back(pattern[produced % pattern.size()]);
            Insert(t, burst);
        }
    }

    // Every byte the driver wrote, in order, and each write with its time.
    const std::string& Written() const { return written_; }
    const std::vector<Write>& Writes() const { return writes_; }
    // Number of PurgeComm calls that cleared the receive side.
    std::size_t PurgeCount() const { return purges_; }
    // Bytes scheduled and not yet taken, released or not.
    std::size_t Queued() const { return queue_.Queued(); }

    // --- os::virt::Peer ---
    void Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) override {
        const std::string_view data(reinterpret_cast<const char*>(bytes), length);
        written_.append(data);
        writes_.push_back(Write{now, std::string(data)});
        if (echo_) Schedule(now, data);
        unmatched_.append(data);
        for (bool fired = true; fired;) {
            fired = false;
            for (auto& rule : rules_) {
                if (rule.times < 0) continue;  // used up
                const auto at = unmatched_.find(rule.trigger);
                if (at == std::string::npos) continue;
                unmatched_.erase(0, at + rule.trigger.size());
                if (!rule.answer.empty()) Schedule(now + rule.delayMs, rule.answer);
                if (rule.times > 0 && --rule.times == 0) rule.times = -1;
                fired = true;
                break;
            }
        }
    }

    std::size_t Pending(std::uint64_t now) override { return queue_.Pending(now); }

    std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t now) override {
        return queue_.Take(out, max, now);
    }

    // What has arrived is dropped; what is still on its way stays scheduled.
    void Purge(std::uint64_t now) override {
        ++purges_;
        queue_.DropArrived(now);
    }

private:
    struct Rule {
        std::string trigger;
        std::string answer;
        std::uint32_t delayMs;
        int times;  // -1 once used up
    };

    void Schedule(std::uint64_t at, std::string_view bytes) {
        if (chunkSize_ == 0) {
            Insert(at, bytes);
            return;
        }
        for (std::size_t i = 0, k = 0; i < bytes.size(); i += chunkSize_, ++k)
            Insert(at + k * chunkGap_, bytes.substr(i, chunkSize_));
    }

    void Insert(std::uint64_t at, std::string_view bytes) { queue_.Insert(at, bytes); }

    TimedBytes queue_;
    std::vector<Rule> rules_;
    std::string unmatched_;
    std::string written_;
    std::vector<Write> writes_;
    std::size_t chunkSize_ = 0;
    std::uint32_t chunkGap_ = 1;
    std::size_t purges_ = 0;
    bool echo_ = false;
};

}  // namespace vantor::test
