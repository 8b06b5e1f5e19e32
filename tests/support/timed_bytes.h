// TimedBytes: the receive side of a fake modem on a virtual serial port.
// Pieces of bytes become readable at their virtual time; the driver takes
// them in time order. ScriptedPeer (native tests) and the fuzzers' ChunkPeer
// keep their queues in one of these and answer os::virt::Peer's Pending, Take
// and Purge from it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace vantor::test {

class TimedBytes {
public:
    // `bytes` become readable at virtual time `at`. The queue stays ordered
    // by time; pieces of equal time keep their order.
    void Insert(std::uint64_t at, std::string_view bytes) {
        if (bytes.empty()) return;
        // Most pieces land at the end; one of the same time joins the last
        // piece, so a long answer cut into bytes stays a handful of pieces.
        if (queue_.empty() || at > queue_.back().at) {
            queue_.push_back(Segment{at, std::string(bytes)});
            return;
        }
        if (at == queue_.back().at) {
            queue_.back().bytes.append(bytes);
            return;
        }
        auto it = std::upper_bound(queue_.begin(), queue_.end(), at,
                                   [](std::uint64_t t, const Segment& s) { return t < s.at; });
        queue_.insert(it, Segment{at, std::string(bytes)});
    }

    bool Empty() const { return queue_.empty(); }
    // The time of the last piece; only when not Empty().
    std::uint64_t LastAt() const { return queue_.back().at; }

    // Bytes readable at `now`.
    std::size_t Pending(std::uint64_t now) const {
        std::size_t n = 0;
        for (const auto& s : queue_) {
            if (s.at > now) break;
            n += s.bytes.size() - s.offset;
        }
        return n;
    }

    // Bytes scheduled and not yet taken, released or not.
    std::size_t Queued() const {
        std::size_t n = 0;
        for (const auto& s : queue_) n += s.bytes.size() - s.offset;
        return n;
    }

    // Up to `max` readable bytes into `out`; how many.
    std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t now) {
        std::size_t n = 0;
        while (n < max && !queue_.empty() && queue_.front().at <= now) {
            Segment& s = queue_.front();
            const std::size_t k = std::min(max - n, s.bytes.size() - s.offset);
            std::copy_n(s.bytes.data() + s.offset, k, out + n);
            s.offset += k;
            n += k;
            if (s.offset == s.bytes.size()) queue_.pop_front();
        }
        return n;
    }

    // What has arrived by `now` is dropped; what is still on its way stays.
    void DropArrived(std::uint64_t now) {
        while (!queue_.empty() && queue_.front().at <= now) queue_.pop_front();
    }

private:
    struct Segment {
        std::uint64_t at;
        std::string bytes;
        std::size_t offset = 0;
    };
    std::deque<Segment> queue_;
};

}  // namespace vantor::test
