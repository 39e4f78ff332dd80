#pragma once
// Shared by the frame-decoder fuzz targets: a receive queue that aborts on any read past
// rx_count(), and a driver that checks every move of the decoder against the rules
// (hunting waits for 23 bytes; a false start, an impossible length and a wrong checksum
// each cost exactly one byte; a ready frame stays until released) and checks every
// accepted frame (length 23..300, sync bytes, length field, checksum).
#include "link/frame.h"
#include "link/frame_decoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace zev1::fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "frame decoder fuzz: %s\n", what);
    std::abort();
}

inline void check(bool ok, const char* what) {
    if (!ok) {
        fail(what);
    }
}

class strict_queue final : public rx_queue {
public:
    void feed(std::span<const std::uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    std::uint32_t rx_count() const override {
        return static_cast<std::uint32_t>(bytes_.size() - head_);
    }
    std::uint8_t rx_peek(std::uint32_t i) const override {
        check(i < rx_count(), "rx_peek at or past rx_count()");
        return bytes_[head_ + i];
    }
    void rx_skip(std::uint32_t n) override {
        check(n <= rx_count(), "rx_skip of more than rx_count()");
        head_ += n;
        if (head_ > 4096 && head_ * 2 > bytes_.size()) {
            bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
            head_ = 0;
        }
    }
    // The waiting bytes, for the checker only.
    std::span<const std::uint8_t> waiting() const {
        return std::span<const std::uint8_t>(bytes_).subspan(head_);
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;
};

class checked_decoder {
public:
    // hold: let a ready frame sit for one more step before releasing it.
    explicit checked_decoder(bool hold) : hold_(hold) {}

    void feed(std::span<const std::uint8_t> bytes) { queue_.feed(bytes); }

    // One step, checked against the rules; a ready frame is checked and released.
    frame_decoder::move step() {
        using state = frame_decoder::state;
        using move = frame_decoder::move;
        const state before = decoder_.current();
        const std::uint32_t count = queue_.rx_count();
        const auto w = queue_.waiting();
        const move m = decoder_.step(queue_);
        const std::uint32_t after = queue_.rx_count();

        switch (before) {
        case state::hunting:
            if (count < frame_min_length) {
                check(m == move::none && after == count, "hunting moved with fewer than 23 bytes");
                check(decoder_.current() == state::hunting, "left hunting with too few bytes");
            } else {
                const std::uint32_t length = (std::uint32_t{w[2]} << 8) | w[3];
                const bool start = w[0] == frame_sync1 && w[1] == frame_sync2 &&
                                   length >= frame_min_length && length <= frame_max_length;
                if (start) {
                    check(m == move::length_read && after == count, "plausible start not taken");
                    check(decoder_.current() == state::length_known, "not length_known");
                    check(decoder_.length() == length, "wrong length read");
                } else {
                    check(m == move::dropped && after == count - 1, "bad start not one byte");
                    check(decoder_.current() == state::hunting, "left hunting on a bad start");
                }
            }
            break;
        case state::length_known: {
            const std::uint32_t length = decoder_.length();
            if (count < length) {
                check(m == move::none && after == count, "moved before the frame arrived");
                check(decoder_.current() == state::length_known, "lost the length");
            } else {
                const std::uint16_t sum = frame_checksum(w.first(length - 2));
                const bool valid = sum == ((w[length - 2] << 8) | w[length - 1]);
                if (valid) {
                    check(m == move::frame_valid && after == count, "valid frame not accepted");
                    check(decoder_.ready(), "valid frame not ready");
                } else {
                    check(m == move::frame_invalid && after == count - 1,
                          "bad checksum not one byte");
                    check(decoder_.current() == state::hunting, "not hunting after bad checksum");
                }
            }
            break;
        }
        case state::frame_ready:
            check(m == move::none && after == count && decoder_.ready(), "ready frame moved");
            break;
        }

        released_ = false;
        if (decoder_.ready()) {
            if (m == move::frame_valid) {
                check_frame();
            }
            if (!hold_ || m == move::none) {
                const std::uint32_t length = decoder_.length();
                const std::uint32_t before_release = queue_.rx_count();
                decoder_.release(queue_);
                check(queue_.rx_count() == before_release - length, "release removed wrong count");
                check(decoder_.current() == state::hunting, "not hunting after release");
                released_ = true;
            }
        }
        return m;
    }

    // Steps until nothing more can happen with the bytes that are there.
    void drain() {
        for (;;) {
            const auto m = step();
            if (m == frame_decoder::move::none && !released_ && !decoder_.ready()) {
                break;
            }
        }
    }

    const std::vector<std::vector<std::uint8_t>>& accepted() const { return accepted_; }
    std::uint32_t left() const { return queue_.rx_count(); }

private:
    void check_frame() {
        const std::uint32_t length = decoder_.length();
        check(length >= frame_min_length && length <= frame_max_length, "accepted bad length");
        check(queue_.rx_count() >= length, "accepted frame not all there");
        const auto f = queue_.waiting().first(length);
        check(f[0] == frame_sync1 && f[1] == frame_sync2, "accepted frame without sync");
        check(((std::uint32_t{f[2]} << 8) | f[3]) == length, "length field differs");
        check(frame_checksum(f.first(length - 2)) == ((f[length - 2] << 8) | f[length - 1]),
              "accepted frame with a bad checksum");
        accepted_.emplace_back(f.begin(), f.end());
    }

    strict_queue queue_;
    frame_decoder decoder_;
    bool hold_;
    bool released_ = false; // the last step released a frame
    std::vector<std::vector<std::uint8_t>> accepted_;
};

} // namespace zev1::fuzz
