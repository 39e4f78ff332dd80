#include "link/komunikace.h"

#include "log/message_text.h"

#include <algorithm>

namespace zev1 {

namespace {

constexpr std::string_view com_section = "com";
constexpr std::string_view com_key = "com";
constexpr std::string_view open_key = "open";

// Sets a flag for the lifetime of the object; poll_link uses it to refuse nesting.
class nesting_guard {
public:
    explicit nesting_guard(bool& flag) : flag_(flag) { flag_ = true; }
    ~nesting_guard() { flag_ = false; }
    nesting_guard(const nesting_guard&) = delete;
    nesting_guard& operator=(const nesting_guard&) = delete;

private:
    bool& flag_;
};

std::string_view name_of(std::span<const std::uint8_t> frame) {
    return frame.size() > frame_type_offset ? packet_log_name(frame[frame_type_offset])
                                            : packet_log_name(0xFF);
}

// Puts header into a built frame and renews its checksum.
void restamp_header(std::span<std::uint8_t> frame, const frame_header& header) {
    std::copy(header.begin(), header.end(),
              frame.subspan(frame_header_offset, frame_header_size).begin());
    const std::uint16_t sum = frame_checksum(frame.first(frame.size() - 2));
    frame[frame.size() - 2] = static_cast<std::uint8_t>(sum >> 8);
    frame[frame.size() - 1] = static_cast<std::uint8_t>(sum & 0xFF);
}

// A log name without its leading blanks, for text lines.
std::string bare(std::string_view name) {
    const auto first = name.find_first_not_of(' ');
    return std::string(first == std::string_view::npos ? std::string_view{} : name.substr(first));
}

} // namespace

std::string_view drop_reason_text(drop_reason why) {
    switch (why) {
    case drop_reason::port_closed:
        return "port closed";
    case drop_reason::port_gone:
        return "port gone";
    case drop_reason::queue_full:
        return "send queue full";
    }
    return "dropped";
}

komunikace::komunikace(link_port& port, Tini_file& settings, traffic_log& log,
                       counter_view& counter)
    : port_(port), settings_(settings), log_(log), counter_(counter) {}

bool komunikace::poll_link() {
    if (in_poll_) {
        return false;
    }
    const nesting_guard guard(in_poll_);

    // A frame of type 9 or above that the caller left in place has been dispatched and
    // logged already: release it rather than dispatch it a second time.
    if (decoder_.ready() && frame_dispatched_) {
        release_frame();
    }
    flush_send_queue();
    report_port_problems();
    link_step();

    bool waiting = false;
    if (receive_step() && !frame_dispatched_) {
        dispatch_ready_frame();
        waiting = decoder_.ready();
    }
    if (transfer_ != nullptr) {
        transfer_->poll_step();
    }
    return waiting;
}

void komunikace::dispatch_ready_frame() {
    std::array<std::uint8_t, frame_max_length> copy{};
    const std::size_t length = copy_frame(copy);
    if (length == 0) {
        release_frame();
        return;
    }
    frame_dispatched_ = true;
    const std::uint8_t type = frame_type();
    if (transfer_ != nullptr) {
        if (type == P_BOOTLOADER_READ_A) {
            transfer_->on_read_reply();
        } else if (type == P_BOOTLOADER_WRITE_A) {
            transfer_->on_write_reply();
        }
    }
    log_packet(std::span<const std::uint8_t>(copy.data(), length), true);
    if (type <= P_BOOTLOADER_WRITE_A) {
        release_frame();
    }
}

void komunikace::link_step() {
    if (!port_.list_built()) {
        load_port_settings();
    }
    switch (state_) {
    case link_state::closed:
        device_text_[0] = 0;
        if (!port_.port_selected()) {
            // Picks up the remembered port at start, or when it is plugged in later.
            if (port_.port_present(port_name_)) {
                load_port_settings();
                select_port(port_name_, baud_rate_);
            }
        } else if (want_open_ || want_isp_) {
            port_.open_close(static_cast<std::uint32_t>(baud_rate_));
            if (port_.is_open()) {
                // The port holds nothing of the connection before (the ring is emptied
                // on opening); the decoder must not wait for the rest of a frame that
                // connection began.
                decoder_.reset();
                frame_dispatched_ = false;
                if (want_open_) {
                    state_ = link_state::connected;
                } else {
                    port_.clear_dtr();
                    port_.clear_rts();
                    state_ = link_state::isp_connected;
                }
                settings_.WriteString(com_section, com_key, port_name_);
                settings_.WriteBool(com_section, open_key, true);
            }
        }
        break;
    case link_state::connected:
        if (!want_open_) {
            close_link(true);
            break;
        }
        if (keep_alive_countdown_ == 0) {
            const std::uint8_t type = device_text_[0] != 0 ? P_PING : P_ECHO;
            send_packet(type, {});
            keep_alive_countdown_ = keep_alive_period;
        } else if (keep_alive_countdown_ == 1) {
            if (watchdog_enabled_ && reply_credit_ == 0) {
                close_link(false, true);
            } else if (reply_credit_ > 0) {
                // Held at 0 while the watchdog is off, so that switching it on again
                // does not grant 255 silent periods.
                --reply_credit_;
            }
        }
        --keep_alive_countdown_;
        break;
    case link_state::isp_connected:
        if (!want_isp_) {
            close_link(true);
        }
        break;
    }
}

std::int32_t komunikace::idle_ticks() const {
    if (state_ != link_state::connected || !want_open_ || queue_count_ != 0 ||
        decoder_.current() != frame_decoder::state::hunting || port_.rx_count() != 0 ||
        port_.port_gone()) {
        return 0;
    }
    // A tick that starts at 0 sends the keep-alive, one that starts at 1 checks for its
    // answer; the ticks before them only count down.
    return keep_alive_countdown_ > 1 ? keep_alive_countdown_ - 1 : 0;
}

void komunikace::skip_idle_ticks(std::int32_t n) {
    // Counted whatever arrived meanwhile: the port woke the loop on the tick it arrived
    // in, so the ticks before it had nothing to see. The keep-alive's tick and the one
    // that checks for its answer are never let pass.
    if (state_ == link_state::connected && n > 0 && keep_alive_countdown_ > 1) {
        keep_alive_countdown_ -= std::min(n, keep_alive_countdown_ - 1);
    }
}

void komunikace::close_link(bool write_open_key, bool watchdog) {
    // A silent controller's port is kept open where reopening it would pulse its reset
    // lines; the link goes through the same states either way.
    if (watchdog) {
        port_.hold_port();
    } else {
        port_.close_port();
    }
    drop_send_queue(drop_reason::port_closed);
    if (write_open_key) {
        settings_.WriteBool(com_section, open_key, false);
    }
    state_ = link_state::closed;
}

bool komunikace::receive_step() {
    if (want_isp_) {
        return decoder_.ready();
    }
    switch (decoder_.step(port_)) {
    case frame_decoder::move::frame_valid:
        counter_.show_counter(std::to_string(received_counter_));
        ++received_counter_;
        accept_frame();
        break;
    case frame_decoder::move::frame_invalid:
        counter_.show_counter(std::to_string(received_counter_));
        ++received_counter_;
        break;
    default:
        break;
    }
    return decoder_.ready();
}

void komunikace::accept_frame() {
    frame_dispatched_ = false;
    rx_type_ = port_.rx_peek(static_cast<std::uint32_t>(frame_type_offset));
    reply_credit_ = reply_credit_full;
    keep_alive_countdown_ = keep_alive_period;
    if (rx_type_ == P_ECHO_A) {
        const std::uint32_t n = payload_length();
        if (n >= 1) {
            // At most 255 characters, always followed by a zero.
            const std::size_t room = device_text_.size() - 1;
            std::array<std::uint8_t, device_text_size> text{};
            const std::size_t copied = copy_payload(std::span<std::uint8_t>(text.data(), room), 0);
            for (std::size_t i = 0; i < copied; ++i) {
                device_text_[i] = static_cast<char>(text[i]);
            }
            device_text_[copied] = 0;
        }
    }
    for (std::size_t i = 0; i < header_.size(); ++i) {
        header_[i] = port_.rx_peek(static_cast<std::uint32_t>(frame_header_offset + i));
    }
}

komunikace::send_result komunikace::send_packet(std::uint8_t type,
                                                std::span<const std::uint8_t> data) {
    queued_frame frame;
    frame.length = build_frame(frame.bytes, type, header_, data);
    if (frame.length == 0) {
        log_.log_text("frame too long, not sent: " + bare(packet_log_name(type)));
        return send_result::too_long;
    }
    const std::span<const std::uint8_t> bytes(frame.bytes.data(), frame.length);
    if (!port_.is_open()) {
        drop_frame(bytes, drop_reason::port_closed);
        return send_result::port_closed;
    }
    if (port_.port_gone()) {
        drop_send_queue(drop_reason::port_gone);
        drop_frame(bytes, drop_reason::port_gone);
        return send_result::port_gone;
    }
    if (queue_count_ == queue_.size()) {
        const queued_frame& oldest = queue_[queue_head_];
        queue_head_ = (queue_head_ + 1) % queue_.size();
        --queue_count_;
        drop_frame({oldest.bytes.data(), oldest.length}, drop_reason::queue_full);
    }
    queue_[(queue_head_ + queue_count_) % queue_.size()] = frame;
    ++queue_count_;
    flush_send_queue();
    return queue_count_ == 0 ? send_result::sent : send_result::queued;
}

bool komunikace::flush_send_queue() {
    while (queue_count_ > 0) {
        if (!port_.is_open()) {
            drop_send_queue(drop_reason::port_closed);
            return false;
        }
        if (port_.port_gone()) {
            drop_send_queue(drop_reason::port_gone);
            return false;
        }
        queued_frame& front = queue_[queue_head_];
        const std::span<std::uint8_t> bytes(front.bytes.data(), front.length);
        // A frame that waited may have been built before the controller's newest valid
        // frame arrived: it goes out with the header the link holds now.
        restamp_header(bytes, header_);
        if (!port_.send_bytes(bytes)) {
            return false;
        }
        log_packet(bytes, false);
        queue_head_ = (queue_head_ + 1) % queue_.size();
        --queue_count_;
    }
    return true;
}

void komunikace::drop_send_queue(drop_reason why) {
    while (queue_count_ > 0) {
        const queued_frame& front = queue_[queue_head_];
        queue_head_ = (queue_head_ + 1) % queue_.size();
        --queue_count_;
        drop_frame({front.bytes.data(), front.length}, why);
    }
    queue_head_ = 0;
}

void komunikace::drop_frame(std::span<const std::uint8_t> frame, drop_reason why) {
    const std::uint8_t type = frame.size() > frame_type_offset ? frame[frame_type_offset] : 0xFF;
    ++dropped_sends_;
    log_.log_text("frame not sent, " + std::string(drop_reason_text(why)) + ": type " +
                  std::to_string(type) + " " + bare(packet_log_name(type)));
    if (dropped_view_ != nullptr) {
        dropped_view_->frame_dropped(type, why);
    }
}

void komunikace::report_port_problems() {
    const std::uint64_t overruns = port_.overrun_count();
    if (overruns > overruns_reported_) {
        log_.log_text("receive buffer overrun: " + std::to_string(overruns - overruns_reported_) +
                      " bytes lost");
        overruns_reported_ = overruns;
    }
    for (const std::string& note : port_.take_port_notes()) {
        log_.log_text(note);
    }
}

std::size_t komunikace::copy_frame(std::span<std::uint8_t> buffer) const {
    if (!decoder_.ready()) {
        return 0;
    }
    const std::uint32_t length = decoder_.length();
    if (length > buffer.size() || length > port_.rx_count()) {
        return 0;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        buffer[i] = port_.rx_peek(i);
    }
    return length;
}

std::uint32_t komunikace::payload_length() const {
    if (!decoder_.ready()) {
        return 0;
    }
    return static_cast<std::uint32_t>(frame_data_length(decoder_.length(), rx_type_));
}

std::size_t komunikace::copy_payload(std::span<std::uint8_t> destination,
                                     std::uint32_t offset) const {
    const std::uint32_t available = payload_length();
    if (offset >= available) {
        return 0;
    }
    const std::size_t count =
        std::min<std::size_t>(destination.size(), static_cast<std::size_t>(available - offset));
    const auto start = static_cast<std::uint32_t>(frame_data_start(rx_type_)) + offset;
    for (std::size_t i = 0; i < count; ++i) {
        destination[i] = port_.rx_peek(start + static_cast<std::uint32_t>(i));
    }
    return count;
}

void komunikace::release_frame() {
    decoder_.release(port_);
    frame_dispatched_ = false;
}

void komunikace::select_port(std::string_view name, std::int32_t baud) {
    // name may view port_name_ itself: copy first, then hand on the copy.
    std::string chosen(name);
    port_name_ = std::move(chosen);
    baud_rate_ = baud;
    port_.select_port(port_name_);
}

void komunikace::load_port_settings() {
    port_name_ = settings_.ReadString(com_section, com_key, "");
    want_open_ = want_open_ || settings_.ReadBool(com_section, open_key, true);
    port_.clear_port_list();
    port_.scan_ports();
}

void komunikace::fill_port_list(port_list_view& view) {
    port_.fill_port_list(view);
}

std::string komunikace::port_state_line() const {
    std::string line = port_.state_text();
    line += "  ";
    line += device_text();
    return line;
}

void komunikace::toggle_open() {
    want_open_ = !want_open_;
    want_isp_ = false;
}

void komunikace::toggle_isp() {
    want_isp_ = !want_isp_;
    want_open_ = false;
}

void komunikace::log_packet(std::span<const std::uint8_t> frame, bool received) {
    const std::string_view name = name_of(frame);
    if (frame.size() < frame_min_length || frame[frame_type_offset] != p_text) {
        log_.add_packet_line(frame, received, name, {});
        return;
    }
    // The text ends at its first zero byte and never runs past the last data byte.
    const auto data = frame.subspan(frame_data_offset, frame.size() - frame_min_length);
    const auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
    const std::string text(data.begin(), zero);
    log_.add_packet_line(frame, received, name, " " + text);
    log_.log_text(text);
}

std::string_view komunikace::device_text() const {
    const auto end = std::find(device_text_.begin(), device_text_.end(), '\0');
    return {device_text_.data(), static_cast<std::size_t>(end - device_text_.begin())};
}

} // namespace zev1
