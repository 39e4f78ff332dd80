#include "simulator.h"

#include "hex.h"
#include "state_file.h"
#include "wifi_block.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace zev1::sim {

namespace {

using namespace std::chrono_literals;

// While no tool has the slave open the master reports a hang-up on every poll, so it
// is left out of the poll and looked at again after this pause.
constexpr auto peer_check_interval = 20ms;
constexpr std::uint32_t max_garbage = 65536;

json_line frame_line(std::string_view dir, std::span<const std::uint8_t> frame) {
    json_line line;
    line.text("dir", dir);
    if (frame.size() > 4) {
        line.number("type", frame[4] & 0x7F);
        if ((frame[4] & frame_sequence_flag) != 0) {
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
      start_garbage_(std::min(options_.start_garbage, max_garbage)) {}

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
    std::string error;
    if (!port_.open(options_.link, error)) {
        std::fprintf(stderr, "zev1-sim: %s\n", error.c_str());
        return false;
    }
    json_line()
        .text("event", "ready")
        .text("link", port_.link())
        .text("pty", port_.slave_path())
        .hex("header", controller_.header())
        .text("id", options_.id)
        .number("baud", options_.baud)
        .boolean("state_loaded", loaded)
        .emit();
    return true;
}

int simulator::run(const volatile std::sig_atomic_t& stop, const sigset_t& wait_mask) {
    while (!quit_ && stop == 0) {
        auto now = sim_clock::now();
        if (port_.is_open() && !peer_present_ && now >= next_peer_check_) {
            check_peer(now);
        }
        pump(now);
        // Serve the frames already received, one request at a time: an unpaced answer is
        // out at once and the next request can follow in the same turn.
        while (tx_.idle()) {
            serve(now);
            if (tx_.idle()) {
                break;
            }
            pump(now);
        }

        std::array<pollfd, 2> fds{};
        nfds_t count = 0;
        int stdin_slot = -1;
        int port_slot = -1;
        if (stdin_open_) {
            stdin_slot = static_cast<int>(count);
            fds[count++] = {STDIN_FILENO, POLLIN, 0};
        }
        if (port_.is_open() && peer_present_) {
            short events = 0;
            if (rx_.room() > 0) {
                events |= POLLIN;
            }
            if (tx_.blocked()) {
                events |= POLLOUT;
            }
            port_slot = static_cast<int>(count);
            fds[count++] = {port_.master(), events, 0}; // a hang-up is reported regardless
        }
        std::optional<sim_clock::time_point> wake = tx_.next_due();
        if (port_.is_open() && !peer_present_ && (!wake || next_peer_check_ < *wake)) {
            wake = next_peer_check_;
        }
        timespec timeout{};
        const timespec* timeout_ptr = nullptr;
        if (wake) {
            const auto wait = std::max(sim_clock::duration::zero(), *wake - sim_clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            timeout_ptr = &timeout;
        }
        const int ready = ::ppoll(fds.data(), count, timeout_ptr, &wait_mask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("zev1-sim: ppoll");
            return 1;
        }
        now = sim_clock::now();
        if (port_slot >= 0) {
            const short re = fds[static_cast<std::size_t>(port_slot)].revents;
            if ((re & (POLLIN | POLLHUP | POLLERR)) != 0) {
                read_port((re & (POLLHUP | POLLERR)) != 0, now);
            }
        }
        if (stdin_slot >= 0 && fds[static_cast<std::size_t>(stdin_slot)].revents != 0) {
            read_stdin();
        }
    }
    port_.close();
    json_line().text("event", "exit").emit();
    return 0;
}

void simulator::pump(sim_clock::time_point now) {
    if (port_.is_open() && peer_present_ &&
        tx_.pump(port_.master(), now) == transmitter::status::failed) {
        on_hangup(now);
    }
}

void simulator::check_peer(sim_clock::time_point now) {
    pollfd fd{port_.master(), POLLIN, 0};
    if (::poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP) == 0) {
        on_peer_open();
    } else {
        next_peer_check_ = now + peer_check_interval;
    }
}

void simulator::on_peer_open() {
    peer_present_ = true;
    // A new session: nothing half-received from an earlier one counts.
    rx_.clear();
    decoder_ = frame_decoder{};
    skipped_ = 0;
    json_line().text("event", "peer-open").emit();
}

void simulator::on_hangup(sim_clock::time_point now) {
    if (!peer_present_) {
        return;
    }
    peer_present_ = false;
    sent_any_ = false;
    next_peer_check_ = now + peer_check_interval;
    json_line().text("event", "peer-closed").emit();
    report_lost(tx_.discard());
    // Bytes already written towards the slave would reach the next tool that opens it.
    ::tcflush(port_.master(), TCIOFLUSH);
}

void simulator::read_port(bool hangup, sim_clock::time_point now) {
    std::array<std::uint8_t, 1024> buffer{};
    while (rx_.room() > 0) {
        const std::size_t want = std::min<std::size_t>(buffer.size(), rx_.room());
        const ssize_t n = ::read(port_.master(), buffer.data(), want);
        if (n > 0) {
            rx_.append(std::span(buffer).first(static_cast<std::size_t>(n)));
            if (!hangup) {
                break; // one read a wake-up; the loop serves and comes back
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        hangup = true; // EIO or end of file: the last slave descriptor was closed
        break;
    }
    if (hangup) {
        on_hangup(now);
    }
}

void simulator::read_stdin() {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) {
        return;
    }
    if (n <= 0) {
        stdin_open_ = false;
        if (options_.exit_on_eof) {
            quit_ = true;
        }
        return;
    }
    for (char c : std::string_view(buffer.data(), static_cast<std::size_t>(n))) {
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
            const std::uint32_t l = std::uint32_t{rx_.rx_peek(2)} << 8 | rx_.rx_peek(3);
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
            .number("type", frame[4] & 0x7F)
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
            .number("type", frame[4] & 0x7F)
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
    const std::uint8_t type = frame[4] & 0x7F;
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
    tx_.push(tx_item{std::move(frame), std::move(line), not_before});
    sent_any_ = true;
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

void simulator::report_lost(std::deque<tx_item> lost) {
    for (const tx_item& item : lost) {
        json_line()
            .text("event", "lost")
            .number("len", static_cast<std::int64_t>(item.bytes.size()))
            .hex("hex", item.bytes)
            .emit();
    }
}

void simulator::unplug() {
    if (!port_.is_open()) {
        return;
    }
    peer_present_ = false;
    sent_any_ = false;
    report_lost(tx_.discard());
    const std::string link = port_.link();
    port_.close();
    rx_.clear();
    decoder_ = frame_decoder{};
    json_line().text("event", "unplug").text("link", link).emit();
}

void simulator::replug() {
    unplug();
    std::string error;
    if (!port_.open(options_.link, error)) {
        json_line().text("error", "replug").text("reason", error).emit();
        return;
    }
    next_peer_check_ = sim_clock::now();
    json_line()
        .text("event", "replug")
        .text("link", port_.link())
        .text("pty", port_.slave_path())
        .emit();
}

} // namespace zev1::sim
