#pragma once
// An in-memory byte_port for tests: received bytes are whatever the test feeds in, every
// block handed to send_bytes is recorded. Misuse by the code under test (a peek at or
// past rx_count(), a skip or get of more than is waiting) is counted as a violation
// instead of crashing, so a test can assert on it; the offending call returns 0 / does
// nothing.
#include "serial/byte_queue.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class memory_port final : public byte_port {
public:
    // --- what the test does -------------------------------------------------------------

    void feed(std::span<const std::uint8_t> bytes) {
        rx_.insert(rx_.end(), bytes.begin(), bytes.end());
    }
    void feed(std::initializer_list<std::uint8_t> bytes) {
        rx_.insert(rx_.end(), bytes.begin(), bytes.end());
    }
    void feed(std::string_view text) {
        for (char c : text) {
            rx_.push_back(static_cast<std::uint8_t>(c));
        }
    }
    void feed_byte(std::uint8_t b) { rx_.push_back(b); }

    // The next send_bytes call returns false and records nothing (a busy transmitter).
    void refuse_next_send() { refuse_next_ = true; }
    // Every following send_bytes call returns false until switched off again.
    void refuse_sends(bool on) {
        refuse_all_ = on;
        takes_left_.reset();
    }
    // The next n send_bytes calls are taken, every one after them refused until
    // refuse_sends(false).
    void refuse_sends_after(std::size_t n) {
        refuse_all_ = false;
        takes_left_ = n;
    }

    // The bytes still waiting, oldest first.
    std::vector<std::uint8_t> pending() const { return {rx_.begin(), rx_.end()}; }
    // Blocks that send_bytes accepted, in order.
    const std::vector<std::vector<std::uint8_t>>& sent() const { return sent_; }
    // All accepted blocks joined.
    std::vector<std::uint8_t> sent_bytes() const {
        std::vector<std::uint8_t> all;
        for (const auto& block : sent_) {
            all.insert(all.end(), block.begin(), block.end());
        }
        return all;
    }
    void clear_sent() { sent_.clear(); }
    // Number of send_bytes calls that returned false.
    std::size_t refused_sends() const { return refused_; }

    // Bytes removed so far by rx_skip and rx_get.
    std::uint64_t consumed() const { return consumed_; }
    // Highest index ever passed to rx_peek, plus one (0 when nothing was peeked).
    std::uint32_t peek_extent() const { return peek_extent_; }
    std::uint64_t peeks() const { return peeks_; }
    void reset_peek_stats() {
        peek_extent_ = 0;
        peeks_ = 0;
    }

    // Contract breaches by the code under test.
    std::size_t violations() const { return violations_.size(); }
    const std::vector<std::string>& violation_log() const { return violations_; }

    // --- byte_port ----------------------------------------------------------------------

    std::uint32_t rx_count() const override { return static_cast<std::uint32_t>(rx_.size()); }

    std::uint8_t rx_peek(std::uint32_t i) const override {
        ++peeks_;
        if (i + 1 > peek_extent_) {
            peek_extent_ = i + 1;
        }
        if (i >= rx_.size()) {
            violations_.push_back("rx_peek(" + std::to_string(i) + ") with rx_count() " +
                                  std::to_string(rx_.size()));
            return 0;
        }
        return rx_[i];
    }

    void rx_skip(std::uint32_t n) override {
        if (n > rx_.size()) {
            violations_.push_back("rx_skip(" + std::to_string(n) + ") with rx_count() " +
                                  std::to_string(rx_.size()));
            n = static_cast<std::uint32_t>(rx_.size());
        }
        rx_.erase(rx_.begin(), rx_.begin() + n);
        consumed_ += n;
    }

    std::uint8_t rx_get() override {
        if (rx_.empty()) {
            violations_.push_back("rx_get() with nothing waiting");
            return 0;
        }
        std::uint8_t b = rx_.front();
        rx_.pop_front();
        ++consumed_;
        return b;
    }

    // Like the real port: an empty block or one of 1024 bytes or more is dropped.
    bool send_bytes(std::span<const std::uint8_t> bytes) override {
        if (takes_left_ && (*takes_left_)-- == 0) {
            refuse_all_ = true;
            takes_left_.reset();
        }
        if (refuse_next_ || refuse_all_ || bytes.empty() || bytes.size() >= 1024) {
            refuse_next_ = false;
            ++refused_;
            return false;
        }
        sent_.emplace_back(bytes.begin(), bytes.end());
        return true;
    }

private:
    std::deque<std::uint8_t> rx_;
    std::vector<std::vector<std::uint8_t>> sent_;
    bool refuse_next_ = false;
    bool refuse_all_ = false;
    std::optional<std::size_t> takes_left_;
    std::size_t refused_ = 0;
    std::uint64_t consumed_ = 0;
    mutable std::uint32_t peek_extent_ = 0;
    mutable std::uint64_t peeks_ = 0;
    mutable std::vector<std::string> violations_;
};

} // namespace zev1
