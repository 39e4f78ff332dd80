#include "memory/flash.h"

#include "link/frame.h"
#include "log/message_text.h"

#include <algorithm>

namespace zev1 {

namespace {

// States of the sequencer.
constexpr std::int8_t st_idle = 0;
constexpr std::int8_t st_start_read = 1;
constexpr std::int8_t st_start_write = 2;
constexpr std::int8_t st_reading = 3;
constexpr std::int8_t st_writing = 4;
constexpr std::int8_t st_finishing = 5;
constexpr std::int8_t st_isp_sync = 6;
constexpr std::int8_t st_isp_last = 12;

// Steps at which the line pulses happen.
constexpr std::int32_t pulse_watchdog_off = 10;
constexpr std::int32_t pulse_raise = 50;
constexpr std::int32_t pulse_drop_dtr = 100;
constexpr std::int32_t pulse_start = 150;
constexpr std::int32_t finish_raise = 10;
constexpr std::int32_t finish_drop_dtr = 40;
constexpr std::int32_t finish_done = 70;

void put_le32(std::span<std::uint8_t> out, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t get_le32(std::span<const std::uint8_t> in) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    }
    return value;
}

// Sets a flag for the lifetime of the object; poll_step uses it to refuse nesting.
class step_guard {
public:
    explicit step_guard(bool& flag) : flag_(flag) { flag_ = true; }
    ~step_guard() { flag_ = false; }
    step_guard(const step_guard&) = delete;
    step_guard& operator=(const step_guard&) = delete;

private:
    bool& flag_;
};

} // namespace

// --- Tsegment -------------------------------------------------------------------------

Tsegment Tsegment::single(std::uint32_t first_start, std::uint32_t first_length) {
    Tsegment s;
    s.start[0] = first_start;
    s.length[0] = first_length;
    return s;
}

bool Tsegment::any() const {
    return std::any_of(length.begin(), length.end(), [](std::uint32_t n) { return n != 0; });
}

std::uint32_t Tsegment::first_start() const {
    for (std::size_t i = 0; i < entries; ++i) {
        if (length[i] != 0) {
            return start[i];
        }
    }
    return 0;
}

std::uint32_t Tsegment::first_length() const {
    for (std::uint32_t n : length) {
        if (n != 0) {
            return n;
        }
    }
    return 0;
}

void Tsegment::clear_first() {
    for (std::size_t i = 0; i < entries; ++i) {
        if (length[i] != 0) {
            start[i] = 0;
            length[i] = 0;
            return;
        }
    }
}

std::uint32_t Tsegment::total_length() const {
    std::uint32_t sum = 0;
    for (std::uint32_t n : length) {
        sum += n;
    }
    return sum;
}

// --- block_header ---------------------------------------------------------------------

std::array<std::uint8_t, block_header::size> block_header::encode() const {
    std::array<std::uint8_t, size> out{};
    put_le32(std::span(out).subspan(0, 4), length);
    put_le32(std::span(out).subspan(4, 4), address);
    put_le32(std::span(out).subspan(8, 4), status);
    return out;
}

block_header block_header::decode(std::span<const std::uint8_t, size> bytes) {
    return {get_le32(bytes.subspan(0, 4)), get_le32(bytes.subspan(4, 4)),
            get_le32(bytes.subspan(8, 4))};
}

// --- Tflash ---------------------------------------------------------------------------

Tflash::Tflash(komunikace& link, boot_port& port, progress_view& progress, traffic_log& log)
    : link_(link), port_(port), progress_(progress), log_(log) {}

void Tflash::start_read(Tsegment ranges, bool reset_lines) {
    start(ranges, reset_lines, st_start_read, read_caption);
}

void Tflash::start_write(Tsegment ranges, bool reset_lines) {
    start(ranges, reset_lines, st_start_write, write_caption);
}

void Tflash::start(Tsegment ranges, bool reset_lines, std::int8_t first_state,
                   std::string_view caption) {
    ranges_ = ranges;
    next_range();
    reply_timeout_ = 0;
    timeouts_ = 0;
    reset_lines_ = reset_lines;
    running_ = false;
    state_ = first_state;
    ticks_ = 0;
    progress_.show_progress(caption, ranges_.total_length() + (end_ - current_), true);
}

void Tflash::start_isp() {
    running_ = false;
    ticks_ = 0;
    state_ = st_isp_sync;
}

bool Tflash::next_range() {
    if (!ranges_.any()) {
        return false;
    }
    current_ = ranges_.first_start();
    end_ = current_ + ranges_.first_length();
    next_ = current_;
    ranges_.clear_first();
    return true;
}

void Tflash::poll_step() {
    if (in_step_) {
        return;
    }
    const step_guard guard(in_step_);
    switch (state_) {
    case st_idle:
        ticks_ = 0;
        return;
    case st_start_read:
    case st_start_write:
        start_state(state_ == st_start_write);
        break;
    case st_reading:
    case st_writing:
        block_step(state_ == st_writing);
        // A read started from a nested tick while the progress window was hidden has
        // already set its own state; only a block phase that ended here moves on.
        if (!running_ && (state_ == st_reading || state_ == st_writing)) {
            state_ = st_finishing;
            ticks_ = 0;
        }
        break;
    case st_finishing:
        finish_state();
        break;
    default:
        if (state_ >= st_isp_sync && state_ <= st_isp_last) {
            isp_step();
        } else {
            state_ = st_idle;
        }
        break;
    }
    ++ticks_;
}

void Tflash::start_state(bool write) {
    const std::int8_t block_state = write ? st_writing : st_reading;
    if (reset_lines_) {
        if (ticks_ == pulse_watchdog_off) {
            link_.watchdog_off();
        } else if (ticks_ == pulse_raise) {
            if (write) {
                port_.set_rts();
                port_.set_dtr();
            } else {
                port_.set_dtr();
                port_.set_rts();
            }
        } else if (ticks_ == pulse_drop_dtr) {
            port_.clear_dtr();
        }
        if (ticks_ < pulse_start) {
            return;
        }
    }
    state_ = block_state;
    running_ = true;
    ticks_ = 0;
}

void Tflash::finish_state() {
    if (reset_lines_) {
        if (ticks_ == finish_raise) {
            port_.set_dtr();
            port_.clear_rts();
        } else if (ticks_ == finish_drop_dtr) {
            port_.clear_dtr();
        }
        if (ticks_ < finish_done) {
            return;
        }
    }
    state_ = st_idle;
    ticks_ = 0;
    progress_.show_progress({}, 1, false);
    link_.watchdog_on();
}

void Tflash::block_step(bool write) {
    if (!running_) {
        return;
    }
    if (reply_timeout_ != 0) {
        --reply_timeout_;
        if (reply_timeout_ != 0) {
            return;
        }
        // Timed out: the same block goes out again at the next step.
        ++timeouts_;
        if (timeouts_ >= max_timeouts) {
            abort_transfer();
        }
        return;
    }
    const std::uint32_t n = std::min(end_ - current_, block_size);
    if (n > 0 && !progress_.take_cancel()) {
        send_request(write, n);
        return;
    }
    // The range is done, or Cancel ended it.
    if (next_range()) {
        reply_timeout_ = 0;
        return;
    }
    finish_blocks();
}

void Tflash::send_request(bool write, std::uint32_t n) {
    next_ = current_ + n;
    const block_header head{n, current_, 0};
    progress_.set_remaining(ranges_.total_length() + (end_ - current_));
    std::array<std::uint8_t, block_header::size + block_size> body{};
    const auto encoded = head.encode();
    std::copy(encoded.begin(), encoded.end(), body.begin());
    std::size_t body_length = block_header::size;
    if (write) {
        // Bytes past the end of the image go out as 0xFF, like unwritten memory.
        const auto data = std::span(body).subspan(block_header::size, n);
        std::fill(data.begin(), data.end(), std::uint8_t{0xFF});
        image_.fetch_block(current_, data);
        body_length += n;
    }
    reply_timeout_ = reply_timeout_steps;
    link_.send_packet(write ? P_BOOTLOADER_WRITE : P_BOOTLOADER_READ,
                      std::span<const std::uint8_t>(body.data(), body_length));
}

// Every state change comes before the progress display is touched: it may process
// pending events, and a nested tick must see the new state.
void Tflash::finish_blocks() {
    running_ = false;
    state_ = st_finishing;
    ticks_ = 0;
    progress_.show_progress({}, 1, false);
}

void Tflash::abort_transfer() {
    running_ = false;
    reply_timeout_ = 0;
    state_ = st_finishing;
    ticks_ = 0;
    progress_.show_progress({}, 1, false);
    progress_.show_error(message_text(2));
}

bool Tflash::read_header(block_header& out) const {
    if (link_.payload_length() < block_header::size) {
        return false;
    }
    std::array<std::uint8_t, block_header::size> raw{};
    if (link_.copy_payload(raw, 0) != raw.size()) {
        return false;
    }
    out = block_header::decode(raw);
    return true;
}

void Tflash::on_read_reply() {
    block_header head;
    if (!read_header(head) || head.address != current_) {
        return;
    }
    const std::uint32_t carried = link_.payload_length() - block_header::size;
    if (head.length > carried) {
        return; // says more than it carries: treated as corrupted, the request is repeated
    }
    std::array<std::uint8_t, frame_max_length> data{};
    const std::size_t wanted = std::min<std::size_t>(head.length, data.size());
    const std::size_t copied =
        link_.copy_payload(std::span(data).subspan(0, wanted), block_header::size);
    image_.store_block(head.address, std::span<const std::uint8_t>(data.data(), copied));
    current_ = next_;
    reply_timeout_ = 0;
    poll_step();
}

void Tflash::on_write_reply() {
    block_header head;
    if (!read_header(head) || head.address != current_ || head.status != write_acknowledged) {
        return;
    }
    current_ = next_;
    reply_timeout_ = 0;
    poll_step();
}

// --- the boot loader's text handshake -------------------------------------------------

void Tflash::isp_send(std::string_view command) {
    isp_tx_.clear();
    isp_tx_.send_line(port_, command);
    log_.log_text("* " + std::string(command));
}

bool Tflash::isp_line_received() {
    if (!isp_rx_.receive_line(port_)) {
        return false;
    }
    isp_rx_.log_line(log_);
    isp_rx_.clear();
    return true;
}

void Tflash::isp_step() {
    if (state_ == st_isp_sync) {
        if (ticks_ == 10) {
            port_.set_dtr();
            port_.set_rts();
        } else if (ticks_ == 40) {
            port_.clear_dtr();
        } else if (ticks_ == 50) {
            isp_rx_.clear();
            const std::array<std::uint8_t, 1> sync{0x3F};
            port_.send_bytes(sync);
            log_.log_text("* 0x3F");
        } else if (ticks_ == 70) {
            port_.clear_rts();
            state_ = st_isp_sync + 1;
            ticks_ = 0;
        }
        return;
    }
    if (!isp_line_received()) {
        return;
    }
    switch (state_) {
    case 7:
        isp_send("Synchronized");
        break;
    case 8:
        isp_send("12000");
        break;
    case 9:
        isp_send("J");
        break;
    case 11:
        isp_send("U 23130");
        break;
    default:
        break;
    }
    ticks_ = 0;
    state_ = state_ == st_isp_last ? st_idle : static_cast<std::int8_t>(state_ + 1);
}

} // namespace zev1
