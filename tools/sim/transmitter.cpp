#include "transmitter.h"

#include <algorithm>

namespace zev1::sim {

namespace {
constexpr std::uint64_t bits_per_byte = 10; // start bit, 8 data bits, stop bit
constexpr std::uint64_t ns_per_s = 1'000'000'000;
} // namespace

transmitter::transmitter(std::uint32_t baud)
    : baud_(baud), chunk_(std::max<std::uint64_t>(1, baud / bits_per_byte / 1000)) {}

sim_clock::duration transmitter::time_for(std::uint64_t bytes) const {
    // Rounded up, so bytes_by(time_for(k)) >= k.
    const std::uint64_t ns = (bytes * bits_per_byte * ns_per_s + baud_ - 1) / baud_;
    return std::chrono::duration_cast<sim_clock::duration>(std::chrono::nanoseconds(ns));
}

std::uint64_t transmitter::bytes_by(sim_clock::duration elapsed) const {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    if (ns <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(ns) * baud_ / (bits_per_byte * ns_per_s);
}

transmitter::status transmitter::pump(tx_sink& sink, sim_clock::time_point now) {
    blocked_ = false;
    while (!queue_.empty()) {
        tx_item& head = queue_.front();
        if (!started_) {
            if (now < head.not_before) {
                return status::ok;
            }
            // Back to back with the previous item while the line is busy, never earlier
            // than the item was queued for.
            start_ = baud_ == 0 ? now : std::max(head.not_before, line_free_);
            started_ = true;
            written_ = 0;
            if (head.line) {
                head.line->emit();
            }
        }
        const std::size_t total = head.bytes.size();
        const std::size_t due =
            baud_ == 0
                ? total
                : static_cast<std::size_t>(std::min<std::uint64_t>(total, bytes_by(now - start_)));
        if (due > written_) {
            const auto r = sink.write(std::span(head.bytes).subspan(written_, due - written_));
            if (r.what == tx_sink::outcome::full) {
                blocked_ = true;
                return status::ok;
            }
            if (r.what == tx_sink::outcome::failed || r.count == 0) {
                return status::failed;
            }
            written_ += std::min(r.count, due - written_);
            continue;
        }
        if (written_ < total) {
            return status::ok; // the rest is not due yet
        }
        line_free_ = baud_ == 0 ? now : start_ + time_for(total);
        if (head.end_line) {
            head.end_line->emit();
        }
        const bool halt = head.halt_after;
        queue_.pop_front();
        started_ = false;
        if (halt) {
            return status::halted;
        }
    }
    return status::ok;
}

std::optional<sim_clock::time_point> transmitter::next_due() const {
    if (queue_.empty() || blocked_) {
        return std::nullopt;
    }
    if (!started_) {
        return queue_.front().not_before;
    }
    if (baud_ == 0) {
        return start_;
    }
    const std::uint64_t target =
        std::min<std::uint64_t>(queue_.front().bytes.size(), written_ + chunk_);
    return start_ + time_for(target);
}

std::deque<tx_item> transmitter::discard() {
    std::deque<tx_item> lost;
    lost.swap(queue_);
    started_ = false;
    written_ = 0;
    blocked_ = false;
    return lost;
}

} // namespace zev1::sim
