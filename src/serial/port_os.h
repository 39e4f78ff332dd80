#pragma once
// The thin platform layer under the serial port's I/O loop. The loop itself (in
// serial_event.cpp) is written once over these calls; platform/posix and platform/win32
// implement them. Operations on the port follow the overlapped model: a start either
// completes at once or is pending, and in both cases its completion later signals the
// operation's manual-reset "done" slot; collecting it then gives the result.
#include "serial/line_format.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zev1 {

// The seven event slots of the I/O thread; the order is also its priority order.
enum event_slot : int {
    ev_stop = 0,          // automatic reset
    ev_read_done = 1,     // manual reset, signalled by the read completion
    ev_read_request = 2,  // automatic reset
    ev_write_done = 3,    // manual reset, signalled by the write completion
    ev_write_request = 4, // automatic reset
    ev_line_done = 5,     // manual reset, signalled by the line-event completion
    ev_line_request = 6,  // automatic reset
};
inline constexpr int event_slot_count = 7;

// Line events and modem status bits, with the values the serial driver interface uses.
inline constexpr std::uint32_t line_ev_rlsd = 0x20;
inline constexpr std::uint32_t line_ev_ring = 0x100;
inline constexpr std::uint32_t modem_ring_on = 0x40;
inline constexpr std::uint32_t modem_rlsd_on = 0x80;

enum class io_status { done, pending, failed };
enum class line_escape { set_dtr, clear_dtr, set_rts, clear_rts };
enum class probe_result { absent, present, no_permission };

struct line_settings {
    std::uint32_t baud = link_baud_rate;
    int parity = link_parity; // 0 none, 1 odd, 2 even
    int byte_size = link_byte_size;
    bool line_events = false;
};

// Why a port did not open: the last step that failed. The numbers are the codes the
// simulator's messages name.
enum class open_failure : std::uint8_t {
    none = 0,
    line_events = 1,   // the line-event mask was refused
    time_outs = 2,     // the time-outs were refused
    line_settings = 4, // the line settings were refused or did not stick
    no_device = 8,     // the device did not open: absent, busy, no access, or no port's name
    no_name = 16,      // the name is empty
    no_events = 32,    // an event slot holds no event
};

struct open_result {
    // no_device, or the step of configuring the open device that failed last.
    open_failure failure = open_failure::none;
    // What the system said of the failing step; empty when it said nothing.
    std::string reason;
    // The device exists but this user may not open it.
    bool permission_denied = false;
    // The device exists but another program holds it.
    bool busy = false;
};

class port_os {
public:
    // Creates the seven events, all non-signalled.
    port_os();
    ~port_os();
    port_os(const port_os&) = delete;
    port_os& operator=(const port_os&) = delete;

    // --- events (any thread) ---------------------------------------------------------
    bool events_valid() const;
    void set_event(int slot);
    void reset_event(int slot);
    // Blocks until a slot is signalled and returns the lowest signalled one, consuming
    // it when it resets automatically; -1 when the wait itself failed or the device
    // vanished while nothing was outstanding on it. I/O thread only.
    int wait_any();

    // --- the port (open/close/escape on the GUI thread, the rest on the I/O thread) ---
    // Opens the named port exclusively and configures it; on failure it is closed again.
    open_result open(std::string_view name, const line_settings& settings);
    bool is_open() const;
    void close();
    void escape(line_escape what);
    // Discards what the device has received and nobody has read yet.
    void purge_input();

    io_status start_read(std::span<std::uint8_t> buffer);
    io_status collect_read(std::uint32_t& count);
    io_status start_write(std::span<const std::uint8_t> block);
    io_status collect_write();
    io_status start_line_wait();
    io_status collect_line_wait();
    // The line events reported by the last completed line-event wait.
    std::uint32_t line_mask() const;
    // modem_ring_on / modem_rlsd_on bits of the current modem status.
    std::uint32_t modem_status();

private:
    struct state;
    std::unique_ptr<state> s_;
};

// Whether opening a port raises its modem lines (Linux raises DTR and RTS inside every
// open of a serial device; Windows opens with both as the line settings say, low).
bool open_raises_modem_lines();

// Whether the named port could be opened right now. The device is never opened for
// reading or writing here: such an open raises its modem lines, and a board on another
// port may reset on that edge. A port that is seen to be held by a program, this one
// included, is absent.
probe_result probe_port(std::string_view name);

} // namespace zev1
