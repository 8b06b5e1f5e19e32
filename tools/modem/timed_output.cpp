#include "modem/timed_output.h"

#include <algorithm>

namespace modem {

void TimedOutput::Push(std::string_view bytes, std::uint64_t at_ms, const LineShape& shape) {
    if (bytes.empty()) return;
    std::uint64_t t = std::max(at_ms * 1000, last_ready_us_);
    std::size_t chunk_index = 0;
    std::size_t chunk_left = shape.chunks.empty() ? 0 : shape.chunks[0];
    bool first = true;
    for (char c : bytes) {
        if (shape.baud > 0) {
            // The byte has arrived once its start bit, 8 data bits and stop bit
            // have been clocked out.
            t += (10'000'000ull + shape.baud / 2) / shape.baud;
        } else if (shape.trickle_ms > 0) {
            if (any_) t = std::max<std::uint64_t>(t, last_ready_us_ + shape.trickle_ms * 1000ull);
        } else if (!shape.chunks.empty()) {
            if (chunk_left == 0) {
                chunk_index = (chunk_index + 1) % shape.chunks.size();
                chunk_left = std::max<std::size_t>(shape.chunks[chunk_index], 1);
                t += shape.chunk_gap_ms * 1000ull;
            }
            --chunk_left;
        }
        queue_.push_back({static_cast<std::uint8_t>(c), first, t, at_ms});
        first = false;
        last_ready_us_ = t;
        any_ = true;
    }
}

void TimedOutput::Insert(std::string_view bytes, std::uint64_t at_ms, const LineShape& shape) {
    if (bytes.empty()) return;
    auto at = queue_.begin();
    while (at != queue_.end() && !(at->first && at->produced_ms > at_ms)) ++at;
    std::deque<Byte> later(at, queue_.end());
    queue_.erase(at, queue_.end());
    // Queued behind what stays ahead (or behind all that has left already).
    if (!queue_.empty()) last_ready_us_ = queue_.back().ready_us;
    else if (!later.empty()) last_ready_us_ = 0;
    Push(bytes, at_ms, shape);
    if (later.empty()) return;
    // One byte's time on the line between the inserted bytes and the next.
    std::uint64_t gap_us = 0;
    if (shape.baud > 0) gap_us = (10'000'000ull + shape.baud / 2) / shape.baud;
    else if (shape.trickle_ms > 0) gap_us = shape.trickle_ms * 1000ull;
    const std::uint64_t earliest = last_ready_us_ + gap_us;
    const std::uint64_t shift = later.front().ready_us < earliest ? earliest - later.front().ready_us : 0;
    for (Byte& b : later) {
        b.ready_us += shift;
        queue_.push_back(b);
    }
    last_ready_us_ = queue_.back().ready_us;
}

std::size_t TimedOutput::Available(std::uint64_t now_ms) const {
    std::uint64_t now_us = now_ms * 1000;
    std::size_t n = 0;
    for (const Byte& b : queue_) {
        if (b.ready_us > now_us) break;
        ++n;
    }
    return n;
}

std::size_t TimedOutput::Take(std::uint8_t* out, std::size_t max, std::uint64_t now_ms) {
    std::uint64_t now_us = now_ms * 1000;
    std::size_t n = 0;
    while (n < max && !queue_.empty() && queue_.front().ready_us <= now_us) {
        out[n++] = queue_.front().value;
        queue_.pop_front();
    }
    return n;
}

void TimedOutput::DropArrived(std::uint64_t now_ms) {
    std::uint64_t now_us = now_ms * 1000;
    while (!queue_.empty() && queue_.front().ready_us <= now_us) queue_.pop_front();
}

void TimedOutput::Clear() { queue_.clear(); }

std::optional<std::uint64_t> TimedOutput::NextArrival(std::uint64_t now_ms) const {
    std::uint64_t now_us = now_ms * 1000;
    for (const Byte& b : queue_) {
        if (b.ready_us > now_us) return (b.ready_us + 999) / 1000;
    }
    return std::nullopt;
}

}  // namespace modem
