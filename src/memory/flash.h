#pragma once
// The memory transfer sequencer and the device memory image it fills.
//
// A transfer copies ranges of the controller's memory into the image (or, in the write
// direction, from the image to the controller) in blocks of at most 256 bytes, one
// request outstanding at a time. A request unanswered for 100 steps is repeated; the
// fifth time-out of a transfer aborts it with the error box. Cancel is looked at only when
// a block is about to be requested, and ends the range in progress. The machine has no
// thread: the link calls poll_step() once per tick and the reply handlers when a
// bootloader answer arrives.
//
// States: 0 idle; 1 start of a read, 2 start of a write (both pulse DTR/RTS first when
// reset_lines is set); 3 reading, 4 writing; 5 finishing; 6..12 the boot loader's text
// handshake (start_isp).
//
// Malformed replies:
//  - a payload shorter than the 12-byte block header is ignored;
//  - a read reply whose `length` says more than the data it carries is ignored like a
//    corrupted frame: the request keeps waiting, times out and is repeated;
//  - a read reply reaching past the end of the image is stored as far as the image goes
//    and then counts as answered (there is nothing beyond the image to store).
// Nothing is ever read or written outside the payload or the image.
//
// The object is large (the image is 1 MiB): keep it in static storage or a unique_ptr.
#include "link/komunikace.h"
#include "log/traffic_log.h"
#include "memory/image.h"
#include "memory/line_buffer.h"
#include "memory/progress_view.h"
#include "serial/byte_queue.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zev1 {

// Up to five ranges (start, length); an entry of length 0 is empty. A plain value.
struct Tsegment {
    static constexpr std::size_t entries = 5;
    std::array<std::uint32_t, entries> start{};
    std::array<std::uint32_t, entries> length{};

    // All entries empty except entry 0.
    static Tsegment single(std::uint32_t start, std::uint32_t length);

    bool any() const;
    // Start and length of the first non-empty entry (0 when none).
    std::uint32_t first_start() const;
    std::uint32_t first_length() const;
    // Clears both words of the first non-empty entry.
    void clear_first();
    // Sum of all lengths (unsigned 32-bit, wrapping).
    std::uint32_t total_length() const;
};

// The 12-byte head of every bootloader packet body, little-endian words.
struct block_header {
    static constexpr std::size_t size = 12;
    std::uint32_t length = 0;
    std::uint32_t address = 0;
    std::uint32_t status = 0;

    std::array<std::uint8_t, size> encode() const;
    static block_header decode(std::span<const std::uint8_t, size> bytes);
};

class Tflash final : public transfer_handler {
public:
    static constexpr std::uint32_t block_size = 256;
    static constexpr std::int32_t reply_timeout_steps = 100;
    static constexpr std::uint32_t max_timeouts = 5;
    static constexpr std::uint32_t write_acknowledged = 1;
    // The progress descriptions, UTF-8: "Čtení z MCU" and "Zápis do MCU".
    static constexpr std::string_view read_caption = "\xC4\x8Cten\xC3\xAD z MCU";
    static constexpr std::string_view write_caption = "Z\xC3\xA1pis do MCU";

    Tflash(komunikace& link, boot_port& port, progress_view& progress, traffic_log& log);
    Tflash(const Tflash&) = delete;
    Tflash& operator=(const Tflash&) = delete;

    // Starts reading the ranges into the image; replaces a transfer in progress.
    void start_read(Tsegment ranges, bool reset_lines);
    // Starts writing the ranges from the image to the controller.
    void start_write(Tsegment ranges, bool reset_lines);
    // Starts the boot loader's text handshake (the link should be ISP-connected).
    void start_isp();
    // A transfer or the handshake is in progress (state is not idle).
    bool is_busy() const { return state_ != 0; }

    void poll_step() override;
    void on_read_reply() override;
    void on_write_reply() override;

    memory_image& image() { return image_; }
    const memory_image& image() const { return image_; }

    // --- read-only state, for displays and tests ---------------------------------------
    std::int8_t state() const { return state_; }
    std::int32_t ticks() const { return ticks_; }
    bool running() const { return running_; }
    std::int32_t reply_timeout() const { return reply_timeout_; }
    std::uint32_t current() const { return current_; }
    std::uint32_t next() const { return next_; }
    std::uint32_t end() const { return end_; }
    std::uint32_t timeouts() const { return timeouts_; }
    bool reset_lines() const { return reset_lines_; }
    const Tsegment& ranges() const { return ranges_; }

private:
    void start(Tsegment ranges, bool reset_lines, std::int8_t first_state,
               std::string_view caption);
    bool next_range();
    void block_step(bool write);
    void send_request(bool write, std::uint32_t n);
    void finish_blocks();
    void abort_transfer();
    void start_state(bool write);
    void finish_state();
    void isp_step();
    void isp_send(std::string_view command);
    bool isp_line_received();
    bool read_header(block_header& out) const;

    memory_image image_;
    komunikace& link_;
    boot_port& port_;
    progress_view& progress_;
    traffic_log& log_;

    std::int8_t state_ = 0;
    std::int32_t ticks_ = 0;
    bool running_ = false;
    std::int32_t reply_timeout_ = 0;
    std::uint32_t current_ = 0;
    std::uint32_t next_ = 0;
    std::uint32_t end_ = 0;
    std::uint32_t timeouts_ = 0;
    bool reset_lines_ = false;
    bool in_step_ = false;
    Tsegment ranges_{};
    Tline_buffer isp_rx_;
    Tline_buffer isp_tx_;
};

} // namespace zev1
