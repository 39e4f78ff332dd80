#pragma once
// The tool's end of the link to the controller: chooses and opens the serial port, keeps
// the connection alive with keep-alive frames, closes the port when the controller falls
// silent and opens it again, recognises incoming frames, learns the controller's
// identification text, hands bootloader answers to the transfer sequencer and passes
// every frame, sent or received, to the traffic log. Everything runs on the GUI (or
// command-line) thread, once per 10 ms tick, through poll_link().
//
// Robustness beyond the plain protocol:
//  - poll_link() entered again from inside itself (a progress window or an error box
//    processing pending events) returns false at once; the sequencer's step then waits
//    for the next tick. Every received frame is dispatched, logged and released exactly
//    once: a frame of type 9 or above that the caller did not release is released at the
//    start of the next poll_link().
//  - A frame that send_bytes() refuses (the previous block is still being written) is
//    kept in a FIFO of send_queue_capacity frames and handed over on following ticks,
//    before anything newer, so keep-alives and transfer requests keep their order. It
//    goes out with the frame header the link holds when the port takes it, so even a
//    frame that waited echoes the controller's newest valid frame. A frame counts as
//    sent, and is logged as sent, when the port has actually taken it.
//  - No frame is lost without a trace: a frame dropped because no port is open, because
//    the link closed the port with it still queued, because the connection ended by
//    itself (unplugged), or as the oldest of a full FIFO gives a text line naming its
//    type and the reason, and is reported to the dropped-frame view.
//  - The device text is always terminated: at most 255 characters, ending where the
//    controller's text ends (at its zero byte or at the end of its data).
//  - Growth of the receive ring's overrun counter and the port list's notes (ports
//    found, ports refused for lack of permission, a port in use) are reported as text
//    lines in the traffic log.
#include "link/counter_view.h"
#include "link/dropped_frame_view.h"
#include "link/frame.h"
#include "link/frame_decoder.h"
#include "log/traffic_log.h"
#include "serial/line_format.h"
#include "serial/link_port.h"
#include "serial/port_list_view.h"
#include "settings/ini_file.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zev1 {

// The transfer sequencer as the link sees it.
class transfer_handler {
public:
    // A P_BOOTLOADER_READ_A frame is ready; read it with payload_length/copy_payload.
    virtual void on_read_reply() = 0;
    // A P_BOOTLOADER_WRITE_A frame is ready.
    virtual void on_write_reply() = 0;
    // One step of the sequencer, once per tick after the dispatch.
    virtual void poll_step() = 0;

protected:
    ~transfer_handler() = default;
};

class komunikace {
public:
    enum class link_state : std::uint8_t { closed = 0, connected = 1, isp_connected = 2 };

    // What became of a frame handed to send_packet().
    enum class send_result : std::uint8_t {
        sent,        // the port took it (and it was logged as sent)
        queued,      // the port was busy: kept, handed over on a following tick
        port_closed, // no open port: dropped (a text line says so)
        port_gone,   // the connection ended by itself: dropped (a text line says so)
        too_long,    // more data than a frame can carry: nothing built
    };

    static constexpr std::int32_t keep_alive_period = 50;
    static constexpr std::uint8_t reply_credit_full = 2;
    static constexpr std::int32_t default_baud = link_baud_rate;
    static constexpr std::size_t device_text_size = 256;
    static constexpr std::size_t send_queue_capacity = 8;

    komunikace(link_port& port, Tini_file& settings, traffic_log& log, counter_view& counter);
    komunikace(const komunikace&) = delete;
    komunikace& operator=(const komunikace&) = delete;

    // The sequencer that gets bootloader answers and a step every tick (may be null).
    void set_transfer(transfer_handler* handler) { transfer_ = handler; }
    // Told of every dropped frame (may be null).
    void set_dropped_frame_view(dropped_frame_view* view) { dropped_view_ = view; }

    // The per-tick step: hand over queued frames, one connection step, one decoder move
    // with the dispatch of a frame that became ready, one sequencer step. True when a
    // frame of type 9 or above is waiting for the caller, who then calls release_frame().
    bool poll_link();
    // One step of the connection state machine.
    void link_step();

    // How many ticks after this one would do nothing but count down to the next
    // keep-alive: the link is connected, nothing waits to be sent, no byte waits to be
    // decoded. Such ticks may be let pass without a call and counted with
    // skip_idle_ticks() before the next poll_link(), as long as the port's arrival wake
    // ends the wait on the tick bytes arrive in. 0 whenever the next tick has work.
    std::int32_t idle_ticks() const;
    // Counts n ticks that passed without poll_link(), bytes waiting or not (at most the
    // ticks before the keep-alive's and the watchdog check's: those keep their ticks).
    void skip_idle_ticks(std::int32_t n);
    // One decoder move plus the work done when a frame passes; true while a frame is ready.
    bool receive_step();

    // Builds a frame with the current frame header and hands it to the port.
    send_result send_packet(std::uint8_t type, std::span<const std::uint8_t> data);

    // Copies the whole ready frame into buffer; returns its length L, or 0 when no frame
    // is ready or the buffer is too small.
    std::size_t copy_frame(std::span<std::uint8_t> buffer) const;
    // Low 7 bits of the type byte of the last valid frame.
    std::uint8_t frame_type() const { return rx_type_ & 0x7F; }
    // Data bytes of the ready frame: L - 23 (L - 24 with a sequence byte); 0 when none.
    std::uint32_t payload_length() const;
    // Copies data bytes of the ready frame from data offset `offset` on, at most
    // destination.size() and never past the data; returns the number copied.
    std::size_t copy_payload(std::span<std::uint8_t> destination, std::uint32_t offset) const;
    // Removes the ready frame (and nothing more) from the receive ring; hunts again.
    void release_frame();

    // Chooses the port by name (closes the current one if open).
    void select_port(std::string_view name, std::int32_t baud = default_baud);
    // Reads "com"/"com" and "com"/"open", then rebuilds the port list.
    void load_port_settings();
    void fill_port_list(port_list_view& view);
    // The port's state text, two blanks, the device text.
    std::string port_state_line() const;

    void watchdog_on() { watchdog_enabled_ = true; }
    void watchdog_off() { watchdog_enabled_ = false; }
    // Flip want_open and clear want_isp / flip want_isp and clear want_open.
    void toggle_open();
    void toggle_isp();

    // Passes one frame to the traffic log with its log name; a text frame (type 0) also
    // gives a text line with its text.
    void log_packet(std::span<const std::uint8_t> frame, bool received);

    // --- read-only state --------------------------------------------------------------
    link_state state() const { return state_; }
    frame_decoder::state decoder_state() const { return decoder_.current(); }
    std::uint32_t frame_length() const { return decoder_.length(); }
    std::uint8_t rx_type() const { return rx_type_; }
    bool want_open() const { return want_open_; }
    bool want_isp() const { return want_isp_; }
    bool watchdog_enabled() const { return watchdog_enabled_; }
    std::int32_t keep_alive_countdown() const { return keep_alive_countdown_; }
    std::uint8_t reply_credit() const { return reply_credit_; }
    // The identification text, up to its first zero byte.
    std::string_view device_text() const;
    const frame_header& header() const { return header_; }
    const std::string& port_name() const { return port_name_; }
    std::int32_t baud_rate() const { return baud_rate_; }
    // The value the received-frame counter will show for the next whole frame.
    std::uint8_t received_counter() const { return received_counter_; }
    // Frames refused by the port and waiting to be handed over.
    std::size_t pending_sends() const { return queue_count_; }
    // Frames dropped since construction, for whatever reason.
    std::uint64_t dropped_sends() const { return dropped_sends_; }

private:
    struct queued_frame {
        std::array<std::uint8_t, frame_buffer_size> bytes{};
        std::size_t length = 0;
    };

    void dispatch_ready_frame();
    void accept_frame();
    void close_link(bool write_open_key, bool watchdog = false);
    bool flush_send_queue();
    void drop_send_queue(drop_reason why);
    void drop_frame(std::span<const std::uint8_t> frame, drop_reason why);
    void report_port_problems();

    link_port& port_;
    Tini_file& settings_;
    traffic_log& log_;
    counter_view& counter_;
    transfer_handler* transfer_ = nullptr;
    dropped_frame_view* dropped_view_ = nullptr;

    frame_decoder decoder_;
    std::uint8_t rx_type_ = 0;
    link_state state_ = link_state::closed;
    bool want_open_ = false;
    bool want_isp_ = false;
    bool watchdog_enabled_ = true;
    std::int32_t keep_alive_countdown_ = 0;
    std::uint8_t reply_credit_ = 0;
    std::array<char, device_text_size> device_text_{};
    frame_header header_{};
    std::string port_name_;
    std::int32_t baud_rate_ = default_baud;
    std::uint8_t received_counter_ = 0;

    bool in_poll_ = false;
    bool frame_dispatched_ = false; // the ready frame was dispatched and logged

    std::array<queued_frame, send_queue_capacity> queue_{};
    std::size_t queue_head_ = 0;
    std::size_t queue_count_ = 0;
    std::uint64_t dropped_sends_ = 0;
    std::uint64_t overruns_reported_ = 0;
};

} // namespace zev1
