#pragma once
// The port object of the browser configurator, over the Web Serial API. The browser does
// the I/O itself and reports it back as events on the page's one thread, so there is no
// I/O thread here: the page's reader loop hands every chunk it reads to received(), which
// fills the receive ring (producer and consumer are on that one thread, so the ring's
// single-producer/single-consumer contract holds trivially), and a block to send goes to
// the host's writer. Everything the browser does takes time: an open is started by
// open_close() and finished by opened() or open_failed() on a later turn, so the link,
// which asks for the open once per tick, sees the port open on the tick after the
// browser opened it. A disconnect event, or a reader or writer that fails because the
// device is lost, ends the connection as a hang-up does on the desktop: the port counts as
// gone until the link closes it. Line errors (a break, framing, parity, an overrun of the
// browser's buffer) cost only the bytes they garbled: the connection goes on, and the
// error is said once in the text view.
//
// The watchdog's close keeps the browser's connection (hold_port): every open of a USB
// serial device raises DTR and RTS on Linux, ChromeOS and macOS, which pulses the
// controller's reset lines. While held, the link sees the port closed and what arrives is
// dropped; its next open takes the same connection again at once.
//
// Which ports the page may use is the browser's decision (the ports the user granted it);
// the page tells this object with set_ports(). Ports are named by their USB vendor and
// product id ("USB 1234:abcd"), with " #2" and so on for further ports of the same ids.
//
// This file does no I/O: web_port_host is the browser's side (the page's JavaScript),
// which a test replaces.
#include "serial/line_format.h"
#include "serial/link_port.h"
#include "serial/port_description.h"
#include "serial/port_list_state.h"
#include "serial/rx_ring.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

// What the browser does for the port object. Every call returns at once; the outcome
// comes back through web_serial's event functions with the connection number given.
class web_port_host {
public:
    // Opens the port with this id with this line format (the link's: link_format at the
    // link's baud rate), with a receive buffer of web_serial::read_buffer_size bytes, and
    // lowers DTR and RTS before it reports the port open; then opened(connection) or
    // open_failed(connection, ...).
    virtual void open(int port_id, int connection, const line_format& line) = 0;
    // Hands one block to the port's writer; then written(connection), or
    // write_failed(connection, ...) when the write fails.
    virtual void write(int connection, std::span<const std::uint8_t> block) = 0;
    // Sets the modem lines of the open connection.
    virtual void set_signals(int connection, bool dtr, bool rts) = 0;
    // Ends the connection (the reader and writer are released, the port closed).
    virtual void close(int connection) = 0;

protected:
    ~web_port_host() = default;
};

// A port the page may use, as the browser describes it.
struct web_port_info {
    int id = 0;   // the page's handle of the port
    int vid = -1; // USB vendor id, -1 when the port is not a USB one
    int pid = -1; // USB product id, -1 likewise
};

// Why an open failed, as the browser tells it.
enum class web_open_failure : std::uint8_t {
    busy,    // the system could not open it: another program or tab holds it, or no access
    refused, // the browser no longer lets this page use the port
    gone,    // the port is not there any more
};

class web_serial final : public link_port {
public:
    // Bytes waiting for room in the receive ring at most; beyond, they count as overruns.
    static constexpr std::size_t max_staged = 65536;
    // Ticks between two attempts to open a port that failed to open.
    static constexpr int open_retry_ticks = 50;
    static constexpr std::size_t write_block_size = 1024;
    // The browser's receive buffer: several of the longest answers, so that a page busy
    // for a moment loses nothing (the browser's default holds less than one).
    static constexpr std::size_t read_buffer_size = 4096;

    explicit web_serial(web_port_host& host) : host_(host) {}
    web_serial(const web_serial&) = delete;
    web_serial& operator=(const web_serial&) = delete;

    // --- events from the browser -----------------------------------------------------
    // The ports the page may use now (after a grant, a connect or a disconnect event).
    void set_ports(std::span<const web_port_info> ports);
    void opened(int connection);
    void open_failed(int connection, web_open_failure why, std::string_view detail);
    void received(int connection, std::span<const std::uint8_t> bytes);
    void written(int connection);
    // The reader or the writer failed with the browser's error of this name
    // ("BreakError", "NetworkError"...). True: the connection goes on (the page takes
    // the port's new stream); false: it has ended, as by connection_ended().
    bool read_failed(int connection, std::string_view error);
    bool write_failed(int connection, std::string_view error);
    // The port was unplugged (disconnect event), or its reader or writer cannot go on.
    void connection_ended(int connection);
    // Moves bytes that waited for room into the receive ring; the page calls it before
    // every tick.
    void pump();

    // --- byte_port ---------------------------------------------------------------------
    std::uint32_t rx_count() const override { return ring_.count(); }
    std::uint8_t rx_peek(std::uint32_t i) const override { return ring_.peek(i); }
    void rx_skip(std::uint32_t n) override { ring_.skip(n); }
    std::uint8_t rx_get() override { return ring_.get(); }
    // Dropped (false) while a block is being written, at write_block_size bytes or more,
    // when empty, or when no connection runs.
    bool send_bytes(std::span<const std::uint8_t> bytes) override;

    // --- link_port ---------------------------------------------------------------------
    bool port_present(std::string_view name) override;
    void clear_port_list() override {}
    void scan_ports() override;
    void fill_port_list(port_list_view& view) override;
    void select_port(std::string_view name) override;
    void open_close(std::uint32_t baud) override;
    void close_port() override;
    void hold_port() override;
    std::string state_text() const override;
    bool is_open() const override { return state_ == state::open || state_ == state::gone; }
    bool port_selected() const override { return !selected_.empty(); }
    bool list_built() const override { return list_.built(); }
    void set_dtr() override { set_lines(true, rts_); }
    void clear_dtr() override { set_lines(false, rts_); }
    void set_rts() override { set_lines(dtr_, true); }
    void clear_rts() override { set_lines(dtr_, false); }
    bool port_gone() const override { return state_ == state::gone; }
    std::uint64_t overrun_count() const override { return ring_.overruns() + staged_overruns_; }
    std::vector<std::string> take_port_notes() override;
    void set_arrival_wake(arrival_wake* wake) override { wake_ = wake; }

    // --- for the page ------------------------------------------------------------------
    // The listed names in list order.
    std::vector<std::string> port_names() const;
    const std::string& selected() const { return selected_; }
    // The listed name of the port with this id.
    std::optional<std::string> name_of(int port_id) const;
    // The last open that failed, until an open succeeds or another port is chosen.
    struct open_problem {
        std::string port;
        web_open_failure why;
    };
    const std::optional<open_problem>& problem() const { return problem_; }
    bool write_pending() const { return write_pending_; }
    // The link's connection is closed but the browser's is kept (hold_port).
    bool holding() const { return state_ == state::held; }
    // The page has handed over one of the browser's events: whoever ticks the link is
    // told, so a tick let pass as idle does not keep what came waiting.
    void event_handled() const {
        if (wake_ != nullptr) {
            wake_->arrived();
        }
    }

private:
    enum class state : std::uint8_t {
        closed,
        opening, // asked the browser, no answer yet
        opened,  // the browser opened it; the link has not taken it yet
        open,    // the link's connection
        gone,    // ended by itself; open for the link until close_port()
        held,    // closed for the link, the browser's connection kept (hold_port)
    };
    struct entry {
        std::string name;
        int id = 0;
        port_description description;
    };

    const entry* find(std::string_view name) const;
    void set_lines(bool dtr, bool rts);
    void end_connection();
    void resume_held();
    bool line_error(int connection, std::string_view error, bool writing);

    web_port_host& host_;
    arrival_wake* wake_ = nullptr;
    rx_ring ring_;
    std::deque<std::uint8_t> staged_;
    std::uint64_t staged_overruns_ = 0;
    std::vector<entry> ports_;
    // Chosen by name: the browser may list the chosen port elsewhere after a change.
    port_list_state list_{port_list_state::after_refill::show_choice};
    std::string selected_;
    state state_ = state::closed;
    int connection_ = 0;      // number of the current (or last) connection
    int connection_port_ = 0; // the id of its port
    int retry_wait_ = 0;
    bool write_pending_ = false;
    bool dtr_ = false;
    bool rts_ = false;
    std::optional<open_problem> problem_;
    std::set<std::string, std::less<>> errors_said_; // on the link's connection
};

// The name the port list shows for the n-th port (n from 1) with these USB ids:
// "USB 1234:abcd", "USB 1234:abcd #2"; "serial port n" for a port that is not USB.
std::string web_port_name(int vid, int pid, int nth);

} // namespace zev1
