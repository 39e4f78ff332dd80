#include "simulator.h"

#include "hex.h"
#include "state_file.h"
#include "wifi_block.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace zev1::sim {

namespace {

constexpr std::uint32_t max_garbage = 65536;
constexpr auto unplug_after_cut = std::chrono::milliseconds(20);

json_line frame_line(std::string_view dir, std::span<const std::uint8_t> frame) {
    json_line line;
    line.text("dir", dir);
    if (frame.size() > 4) {
        line.number("type", frame[frame_type_offset] & 0x7F);
        if ((frame[frame_type_offset] & frame_sequence_flag) != 0) {
            line.boolean("seq", true);
        }
    }
    line.number("len", static_cast<std::int64_t>(frame.size()));
    line.hex("hex", frame);
    return line;
}

} // namespace

simulator::simulator(sim_options options)
    : options_(std::move(options)), faults_(options_.faults),
      controller_(options_.id, options_.header, options_.faults), tx_(options_.baud),
      start_garbage_(std::min(options_.start_garbage, max_garbage)), cut_(options_.cut) {}

bool simulator::start() {
    bool loaded = false;
    if (!options_.state_file.empty()) {
        std::string error;
        const load_result r = load_state(options_.state_file, controller_.memory(), error);
        if (r == load_result::failed) {
            std::fprintf(stderr, "zev1-sim: %s\n", error.c_str());
            return false;
        }
        loaded = r == load_result::loaded;
    }
    // A fresh memory gets all four texts (empty when not given), so a read never shows
    // 0xFF runs as settings; a loaded memory keeps what the options do not replace.
    const std::optional<std::string>* texts[] = {&options_.wifi.security, &options_.wifi.ssid,
                                                 &options_.wifi.key, &options_.wifi.endpoint};
    for (std::size_t i = 0; i < wifi_fields.size(); ++i) {
        if (*texts[i] || !loaded) {
            store_wifi_text(controller_.memory(), wifi_fields[i], texts[i]->value_or(""));
        }
    }
    state_loaded_ = loaded;
    return open_port();
}

void simulator::on_peer_open() {
    peer_present_ = true;
    // A new session: nothing half-received from an earlier one counts.
    rx_.clear();
    decoder_ = frame_decoder{};
    skipped_ = 0;
    json_line().text("event", "peer-open").emit();
}

void simulator::take_stdin(std::string_view chunk) {
    for (char c : chunk) {
        if (c == '\n') {
            if (!stdin_overlong_) {
                if (!stdin_line_.empty() && stdin_line_.back() == '\r') {
                    stdin_line_.pop_back();
                }
                run_command(stdin_line_);
            } else {
                json_line().text("error", "command").text("reason", "line too long").emit();
            }
            stdin_line_.clear();
            stdin_overlong_ = false;
        } else if (stdin_line_.size() < 4096) {
            stdin_line_ += c;
        } else {
            stdin_overlong_ = true;
        }
    }
}

void simulator::stdin_ended() {
    stdin_open_ = false;
    if (options_.exit_on_eof) {
        quit_ = true;
    }
}

json_line simulator::protocol_error(std::string_view kind) {
    ++errors_;
    json_line line;
    line.text("error", kind).number("errors", static_cast<std::int64_t>(errors_));
    return line;
}

void simulator::flush_skipped() {
    if (skipped_ > 0) {
        protocol_error("skipped").number("count", skipped_).emit();
        skipped_ = 0;
    }
}

void simulator::serve(sim_clock::time_point now) {
    // One request at a time: the next frame is looked at only when the answers to the
    // previous one are all out.
    std::array<std::uint8_t, frame_max_length> frame{};
    while (tx_.idle()) {
        const bool hunting = decoder_.current() == frame_decoder::state::hunting;
        const bool length_known = decoder_.current() == frame_decoder::state::length_known;
        std::uint32_t bad_length = 0;
        if (hunting && rx_.rx_count() >= frame_min_length && rx_.rx_peek(0) == frame_sync1 &&
            rx_.rx_peek(1) == frame_sync2) {
            const std::uint32_t l = std::uint32_t{rx_.rx_peek(frame_length_offset)} << 8 |
                                    rx_.rx_peek(frame_length_offset + 1);
            if (l < frame_min_length || l > frame_max_length) {
                bad_length = l;
            }
        }
        std::size_t frame_len = 0;
        if (length_known && rx_.rx_count() >= decoder_.length() &&
            decoder_.length() <= frame.size()) {
            frame_len = decoder_.length();
            for (std::uint32_t i = 0; i < frame_len; ++i) {
                frame[i] = rx_.rx_peek(i);
            }
        }
        const frame_decoder::move move = decoder_.step(rx_);
        switch (move) {
        case frame_decoder::move::none:
            flush_skipped();
            return;
        case frame_decoder::move::dropped:
            if (bad_length != 0) {
                flush_skipped();
                protocol_error("length").number("length", bad_length).emit();
            } else {
                ++skipped_;
            }
            break;
        case frame_decoder::move::length_read:
            flush_skipped();
            break;
        case frame_decoder::move::frame_invalid: {
            flush_skipped();
            const auto bytes = std::span(frame).first(frame_len);
            json_line line = protocol_error("checksum");
            line.number("len", static_cast<std::int64_t>(frame_len)).hex("hex", bytes);
            if (frame_len >= 2) {
                const std::uint16_t want = frame_checksum(bytes.first(frame_len - 2));
                const std::array<std::uint8_t, 2> expected{static_cast<std::uint8_t>(want >> 8),
                                                           static_cast<std::uint8_t>(want)};
                line.hex("expected", expected).hex("got", bytes.last(2));
            }
            line.emit();
            break;
        }
        case frame_decoder::move::frame_valid:
            flush_skipped();
            decoder_.release(rx_);
            if (frame_len >= frame_min_length) {
                on_frame(std::span(frame).first(frame_len), now);
            }
            break;
        }
    }
}

void simulator::on_frame(std::span<const std::uint8_t> frame, sim_clock::time_point now) {
    frame_line("rx", frame).emit();
    const auto header = frame.subspan(5, frame_header_size);
    if (sent_any_ && !std::equal(header.begin(), header.end(), controller_.header().begin())) {
        // The tool must answer with the header of the last frame it received from us.
        protocol_error("header")
            .number("type", frame[frame_type_offset] & 0x7F)
            .hex("got", header)
            .hex("expected", controller_.header())
            .emit();
    }
    if (faults_.silent) {
        return;
    }
    controller::result result = controller_.handle(frame);
    if (!result.error.empty()) {
        protocol_error(result.error)
            .number("type", frame[frame_type_offset] & 0x7F)
            .text("reason", result.reason)
            .emit();
    }
    if (result.note) {
        result.note->emit();
    }
    if (result.memory_changed) {
        save_memory();
    }
    auto not_before = now + std::chrono::milliseconds(faults_.delay_ms);
    for (frame_bytes& answer : result.answers) {
        send_answer(std::move(answer), not_before);
    }
}

void simulator::save_memory() {
    if (options_.state_file.empty()) {
        return;
    }
    std::string error;
    if (!save_state(options_.state_file, controller_.memory(), error)) {
        json_line().text("error", "state").text("reason", error).emit();
    }
}

void simulator::send_answer(frame_bytes frame, sim_clock::time_point not_before) {
    if (frame.size() < frame_min_length) {
        return; // a frame that could not be built: nothing sensible to send
    }
    if (!peer_present_) {
        report_lost({tx_item{std::move(frame), std::nullopt, not_before}});
        return;
    }
    if (start_garbage_ > 0) {
        send_garbage(std::exchange(start_garbage_, 0));
    }
    const std::uint8_t type = frame[frame_type_offset] & 0x7F;
    if (faults_.drop_every != 0 && ++drop_count_ % faults_.drop_every == 0) {
        json_line()
            .text("event", "drop")
            .number("type", type)
            .number("len", static_cast<std::int64_t>(frame.size()))
            .emit();
        return;
    }
    bool corrupt = false;
    if (faults_.corrupt_every != 0 && ++corrupt_count_ % faults_.corrupt_every == 0) {
        // The last data byte (the header's last byte when there is no data): one changed
        // byte always breaks the checksum.
        frame[frame.size() - 3] ^= 0xFF;
        corrupt = true;
    }
    json_line line = frame_line("tx", frame);
    if (corrupt) {
        line.text("fault", "corrupt");
    }
    tx_item item{{}, {}, not_before};
    if (take_cut(type)) {
        // The line shows the whole answer; only its first `at` bytes go out, and the cut
        // event follows once they are written.
        line.text("fault", "cut");
        const std::size_t at = std::min<std::size_t>(cut_->at, frame.size());
        item.end_line = json_line()
                            .text("event", "cut")
                            .number("type", type)
                            .number("len", static_cast<std::int64_t>(frame.size()))
                            .number("at", static_cast<std::int64_t>(at));
        if (cut_->after != cut_plan::then::nothing) {
            item.halt_after = true;
            after_cut_ = cut_->after;
            after_cut_ms_ = cut_->ms;
        }
        frame.resize(at);
        cut_.reset();
    }
    item.bytes = std::move(frame);
    item.line = std::move(line);
    tx_.push(std::move(item));
    sent_any_ = true;
}

bool simulator::take_cut(std::uint8_t type) {
    return cut_ && cut_->type == type && ++cut_seen_ == cut_->nth;
}

void simulator::run_plug_timers(sim_clock::time_point now) {
    if (unplug_at_ && now >= *unplug_at_) {
        unplug_at_.reset();
        unplug();
        replug_at_ = now + std::chrono::milliseconds(after_cut_ms_);
    }
    if (mute_until_ && now >= *mute_until_) {
        // What arrived meanwhile never reached the controller.
        mute_until_.reset();
        const auto dropped = static_cast<std::int64_t>(rx_.rx_count());
        rx_.clear();
        decoder_ = frame_decoder{};
        skipped_ = 0;
        report_lost(tx_.discard());
        json_line().text("event", "mute-end").number("dropped", dropped).emit();
    }
    if (replug_at_ && now >= *replug_at_) {
        replug_at_.reset();
        replug();
    }
}

std::optional<sim_clock::time_point> simulator::next_plug_timer() const {
    for (const auto* timer : {&unplug_at_, &replug_at_, &mute_until_}) {
        if (*timer) {
            return *timer;
        }
    }
    return std::nullopt;
}

void simulator::cancel_plug_timers() {
    unplug_at_.reset();
    replug_at_.reset();
    mute_until_.reset();
}

void simulator::send_plain(frame_bytes frame) {
    if (!peer_present_) {
        report_lost({tx_item{std::move(frame), std::nullopt, {}}});
        return;
    }
    json_line line = frame_line("tx", frame);
    tx_.push(tx_item{std::move(frame), std::move(line), sim_clock::now()});
    sent_any_ = true;
}

void simulator::send_garbage(std::uint32_t count) {
    std::vector<std::uint8_t> bytes(std::min(count, max_garbage));
    for (std::uint8_t& b : bytes) {
        garbage_state_ ^= garbage_state_ << 13;
        garbage_state_ ^= garbage_state_ >> 17;
        garbage_state_ ^= garbage_state_ << 5;
        b = static_cast<std::uint8_t>(garbage_state_);
        if (b == frame_sync1) {
            b = 0x00; // no false start: the tool can always get back in step
        }
    }
    if (!peer_present_) {
        report_lost({tx_item{std::move(bytes), std::nullopt, {}}});
        return;
    }
    json_line line;
    line.text("dir", "tx")
        .boolean("garbage", true)
        .number("len", static_cast<std::int64_t>(bytes.size()))
        .hex("hex", bytes);
    tx_.push(tx_item{std::move(bytes), std::move(line), sim_clock::now()});
}

void simulator::pump(sim_clock::time_point now) {
    if (!port_.is_open() || !peer_present_ || unplug_at_ || mute_until_) {
        return;
    }
    switch (tx_.pump(port_, now)) {
    case transmitter::status::ok:
        break;
    case transmitter::status::failed:
        on_hangup(now);
        break;
    case transmitter::status::halted:
        if (after_cut_ == cut_plan::then::unplug) {
            unplug_at_ = now + unplug_after_cut;
        } else {
            mute_until_ = now + std::chrono::milliseconds(after_cut_ms_);
        }
        break;
    }
}

void simulator::serve_pending(sim_clock::time_point now) {
    while (tx_.idle() && !unplug_at_ && !mute_until_) {
        serve(now);
        if (tx_.idle()) {
            break;
        }
        pump(now);
    }
}

void simulator::forget_peer() {
    peer_present_ = false;
    sent_any_ = false;
    report_lost(tx_.discard());
}

void simulator::report_lost(std::deque<tx_item> lost) {
    for (const tx_item& item : lost) {
        json_line()
            .text("event", "lost")
            .number("len", static_cast<std::int64_t>(item.bytes.size()))
            .hex("hex", item.bytes)
            .emit();
    }
}

} // namespace zev1::sim
