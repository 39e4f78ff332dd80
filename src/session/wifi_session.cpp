#include "session/wifi_session.h"

#include "link/frame.h"

#include <algorithm>

namespace zev1 {

wifi_session::wifi_session(link_port& port, Tini_file& settings, traffic_log& log,
                           counter_view& counter, progress_view& progress)
    : log_(log), link_(port, settings, own_log(), counter),
      flash_(std::make_unique<Tflash>(link_, port, progress, own_log())), workflow_(*flash_) {
    link_.set_transfer(flash_.get());
    link_.set_dropped_frame_view(this);
}

wifi_session::~wifi_session() {
    link_.set_transfer(nullptr);
    link_.set_dropped_frame_view(nullptr);
}

int wifi_session::idle_ticks() const {
    if (flash_->is_busy() || workflow_.read_requested() || write_ == write_state::pending) {
        return 0;
    }
    return std::min(link_.idle_ticks(), max_idle_ticks);
}

std::optional<wifi_session::read_outcome> wifi_session::tick(int ticks) {
    if (ticks > 1) {
        link_.skip_idle_ticks(ticks - 1);
    }
    if (link_.poll_link()) {
        link_.release_frame();
    }
    auto done = workflow_.after_poll();
    if (!done) {
        return std::nullopt;
    }
    read_outcome outcome;
    outcome.end = how_read_ended();
    outcome.settings = std::move(done->settings);
    outcome.security_index = done->security_index;
    outcome.automatic = done->automatic;
    return outcome;
}

wifi_session::read_end wifi_session::how_read_ended() const {
    // A read that ran to its end has requested and received every block of every range:
    // the range in progress is finished and no range is left. Cancel and the abort both
    // stop short of the end; only the abort counts five time-outs.
    const Tflash& f = *flash_;
    if (f.current() == f.end() && !f.ranges().any()) {
        return read_end::complete;
    }
    return f.timeouts() >= Tflash::max_timeouts ? read_end::aborted : read_end::cancelled;
}

void wifi_session::start_read(bool automatic) {
    workflow_.start_read(automatic);
}

wifi_session::send_verdict wifi_session::send_settings(const wifi_settings& settings) {
    send_verdict verdict;
    const wifi_body body = build_wifi_body(settings);
    if (!body.cuts.empty()) {
        // Nothing is ever cut: a cut text would set the controller to something else.
        write_ = write_state::refused;
        verdict.state = write_;
        verdict.too_long = body.cuts;
        return verdict;
    }
    // The frame's fate comes back through add_packet_line (taken by the port) or
    // frame_dropped, possibly inside send_packet itself.
    write_ = write_state::pending;
    const auto result = link_.send_packet(wifi_packet_type, body.bytes);
    if (result == komunikace::send_result::too_long) {
        write_ = write_state::refused; // cannot happen with a 256-byte body
    }
    verdict.state = write_;
    return verdict;
}

void wifi_session::add_packet_line(std::span<const std::uint8_t> frame, bool received,
                                   std::string_view name, std::string_view text) {
    if (!received && frame.size() > frame_type_offset &&
        frame[frame_type_offset] == wifi_packet_type && write_ == write_state::pending) {
        write_ = write_state::written;
    }
    log_.add_packet_line(frame, received, name, text);
}

void wifi_session::log_text(std::string_view text) {
    log_.log_text(text);
}

void wifi_session::frame_dropped(std::uint8_t type, drop_reason why) {
    if (type == wifi_packet_type && write_ == write_state::pending) {
        write_ = write_state::dropped;
        drop_reason_ = why;
    }
    if (dropped_view_ != nullptr) {
        dropped_view_->frame_dropped(type, why);
    }
}

} // namespace zev1
