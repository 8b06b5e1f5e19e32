// The modem's transmit side: bytes queued with the time at which each one has
// fully arrived at the other end, so a reader sees answers split, trickled or
// paced at a baud rate exactly as the fault settings say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

namespace modem {

struct LineShape {
    std::uint32_t baud = 0;              // 0: no pacing; else 10 bits per byte
    std::uint32_t trickle_ms = 0;        // 0: off; else one byte every k ms
    std::vector<std::size_t> chunks;     // empty: off; else chunk sizes, cycled
    std::uint32_t chunk_gap_ms = 20;     // pause between two chunks
};

class TimedOutput {
public:
    // Queues `bytes`, produced at `at_ms`, under `shape`. Bytes leave in order:
    // nothing arrives before what was queued earlier.
    void Push(std::string_view bytes, std::uint64_t at_ms, const LineShape& shape);
    // Queues `bytes`, produced at `at_ms`, in front of the first output that
    // was queued as produced later (a late result, a listing's entry after a
    // pause): an unsolicited line that falls due while they wait. What was
    // produced by then, even if still on the line, stays ahead of it, so a
    // line is never broken into. The output behind it moves back by the time
    // the inserted bytes take, when they would overlap.
    void Insert(std::string_view bytes, std::uint64_t at_ms, const LineShape& shape);

    std::size_t Available(std::uint64_t now_ms) const;
    std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t now_ms);
    // Drops the bytes that have arrived by `now_ms` (a receive-buffer purge);
    // bytes still on the line stay.
    void DropArrived(std::uint64_t now_ms);
    void Clear();
    // When the next byte that has not arrived by `now_ms` will arrive.
    std::optional<std::uint64_t> NextArrival(std::uint64_t now_ms) const;
    // When the last byte queued will have arrived (0 when nothing is queued):
    // the end of the answer under way.
    std::uint64_t LastArrival() const { return queue_.empty() ? 0 : (queue_.back().ready_us + 999) / 1000; }
    bool Empty() const { return queue_.empty(); }

private:
    struct Byte {
        std::uint8_t value;
        bool first;                // the first byte of what one Push queued
        std::uint64_t ready_us;
        std::uint64_t produced_ms; // the at_ms of that Push
    };
    std::deque<Byte> queue_;
    std::uint64_t last_ready_us_ = 0;
    bool any_ = false;
};

}  // namespace modem
