#pragma once
// One connection to the controller as every front end drives it: the link, the transfer
// sequencer with its memory image and the WiFi settings workflow, wired together once.
// The configurator's window, zev1-wifi and the benchmarks each build one over their own
// port, settings store and views, and call tick() every 10 ms.
//
// It owns the verdicts the front ends share, so they decide alike:
//  - a read is complete only when every block of the settings block was requested and
//    answered; Cancel and the abort after the fifth time-out end it short, and then the
//    image does not hold the controller's texts (the fields stay as they were, nothing
//    is written after an automatic read);
//  - settings too long for the type-100 body are refused whole, nothing is cut and
//    nothing sent; settings count as written once the port has taken their frame, and
//    as not written when the link dropped it (with the reason);
//  - the security-type rule and the field limits (memory/wifi_settings.h).
//
// No thread and no call to the operating system of its own: everything happens inside
// tick() and the calls below, on the caller's thread.
#include "link/counter_view.h"
#include "link/dropped_frame_view.h"
#include "link/komunikace.h"
#include "log/traffic_log.h"
#include "memory/flash.h"
#include "memory/progress_view.h"
#include "memory/wifi_settings.h"
#include "serial/link_port.h"
#include "settings/ini_file.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class wifi_session final : private traffic_log, private dropped_frame_view {
public:
    // How a read of the settings block ended.
    enum class read_end : std::uint8_t {
        complete,  // every block requested and answered
        cancelled, // Cancel ended it
        aborted,   // the fifth time-out ended it (the error box)
    };

    struct read_outcome {
        read_end end = read_end::complete;
        // The texts the image holds, security normalised to its list entry; only what a
        // complete read returns is the controller's.
        wifi_settings settings;
        std::size_t security_index = 0;
        bool automatic = false; // started as the automatic server setting
        bool complete() const { return end == read_end::complete; }
    };

    // Where the last settings sent stand.
    enum class write_state : std::uint8_t {
        none,    // nothing sent yet
        refused, // a text too long: nothing sent
        pending, // queued: the port was still writing an earlier frame
        written, // the port took the frame
        dropped, // the link dropped the frame: not written (dropped_reason() says why)
    };

    struct send_verdict {
        write_state state = write_state::none;
        std::vector<wifi_cut> too_long; // the refused fields, in body order
    };

    // The views receive what the link and the sequencer report; they and the port and
    // settings store must outlive the session.
    wifi_session(link_port& port, Tini_file& settings, traffic_log& log, counter_view& counter,
                 progress_view& progress);
    ~wifi_session();
    wifi_session(const wifi_session&) = delete;
    wifi_session& operator=(const wifi_session&) = delete;

    // One 10 ms tick: the link's step (which runs the sequencer's), the release of a frame
    // nobody else takes, then how a requested read ended, on the tick it ended.
    // ticks > 1: this call stands for that many ticks, the ones before the last let pass
    // as idle (see idle_ticks()).
    std::optional<read_outcome> tick(int ticks = 1);

    // The longest run of idle ticks a front end may let pass. What arrives meanwhile (a
    // controller's text, a pulled cable) and every click end the wait at once, so nothing
    // is shown late; the bound is the keep-alive's countdown, and with it an idle loop
    // still runs a few times a second.
    static constexpr int max_idle_ticks = komunikace::keep_alive_period;
    // How many ticks after this one would have nothing to do, at most max_idle_ticks: the
    // link connected and quiet, no transfer, no settings frame waiting. A front end may
    // wait that many ticks longer before its next tick() and pass it 1 + their number;
    // a tick timer that keeps its 10 ms period simply calls tick() each time. The time
    // counted in ticks (keep-alive, watchdog, reply time-outs) is the same either way.
    int idle_ticks() const;

    // Starts reading the settings block; automatic marks it as the automatic server
    // setting (the caller then puts in the default endpoint and writes).
    void start_read(bool automatic);
    // A read was requested and its outcome not yet returned by tick().
    bool read_running() const { return workflow_.read_requested(); }

    // Sends settings as the one type-100 frame, unless a text is too long for its field.
    send_verdict send_settings(const wifi_settings& settings);
    write_state settings_write() const { return write_; }
    drop_reason dropped_reason() const { return drop_reason_; }

    // Also told of every dropped frame (null detaches).
    void set_dropped_frame_view(dropped_frame_view* view) { dropped_view_ = view; }

    // The texts as they lie in the image now (security not normalised).
    wifi_settings image_settings() const { return read_wifi_settings(flash_->image()); }

    komunikace& link() { return link_; }
    const komunikace& link() const { return link_; }
    Tflash& flash() { return *flash_; }
    const Tflash& flash() const { return *flash_; }

private:
    // traffic_log: passed on; a sent type-100 frame marks the settings written.
    void add_packet_line(std::span<const std::uint8_t> frame, bool received, std::string_view name,
                         std::string_view text) override;
    void log_text(std::string_view text) override;
    // dropped_frame_view: passed on; a dropped type-100 frame marks them not written.
    void frame_dropped(std::uint8_t type, drop_reason why) override;

    read_end how_read_ended() const;
    // This object as the log the link and the sequencer write to.
    traffic_log& own_log() { return *this; }

    traffic_log& log_;
    dropped_frame_view* dropped_view_ = nullptr;
    komunikace link_;
    std::unique_ptr<Tflash> flash_; // 1 MiB image: on the heap
    wifi_workflow workflow_;
    write_state write_ = write_state::none;
    drop_reason drop_reason_ = drop_reason::port_closed;
};

} // namespace zev1
