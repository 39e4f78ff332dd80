#pragma once
// The serial port as the rest of the program uses it: the port object with its receive
// ring, the send entry point, the modem-line controls, the list of present ports and the
// state of the chosen one.
#include "serial/link_port.h"
#include "serial/port_list_state.h"
#include "serial/port_namespace.h"
#include "serial/rx_ring.h"
#include "serial/serial_event.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

// The line that names ports this user may not open and says what to do about it.
std::string permission_note(const std::vector<std::string>& names);

class serial final : public Tserial_event, public link_port {
public:
    static constexpr std::size_t port_slots = 20;
    // Bytes taken from one completed read (the read buffer is larger, reads are 1 byte).
    static constexpr std::uint32_t max_block_taken = 511;

    // Ports of this system.
    serial();
    // Ports of the given namespace (tests); it must outlive this object.
    explicit serial(port_namespace& names);
    ~serial();

    // --- byte_port / rx_queue ------------------------------------------------------------
    std::uint32_t rx_count() const override { return rx_ring_.count(); }
    std::uint8_t rx_peek(std::uint32_t i) const override { return rx_ring_.peek(i); }
    void rx_skip(std::uint32_t n) override { rx_ring_.skip(n); }
    std::uint8_t rx_get() override { return rx_ring_.get(); }
    bool send_bytes(std::span<const std::uint8_t> bytes) override {
        return Tserial_event::send_bytes(bytes);
    }

    // --- link_port -----------------------------------------------------------------------
    bool port_present(std::string_view name) override;
    void clear_port_list() override;
    void scan_ports() override;
    void fill_port_list(port_list_view& view) override;
    void select_port(std::string_view name) override;
    void open_close(std::uint32_t baud) override;
    void close_port() override;
    void hold_port() override;
    std::string state_text() const override;
    bool is_open() const override { return !port_closed_; }
    bool port_selected() const override { return selected_index_ >= 0; }
    bool list_built() const override { return list_.built(); }
    void set_dtr() override { escape(line_escape::set_dtr); }
    void clear_dtr() override { escape(line_escape::clear_dtr); }
    void set_rts() override { escape(line_escape::set_rts); }
    void clear_rts() override { escape(line_escape::clear_rts); }
    bool port_gone() const override { return !port_closed_ && !running(); }
    // The connection is closed but its device is kept open (hold_port).
    bool holding() const { return held_; }
    std::uint64_t overrun_count() const override { return rx_ring_.overruns(); }
    std::vector<std::string> take_port_notes() override;
    void set_arrival_wake(arrival_wake* wake) override;

    // The listed names, slot by slot (empty = free slot).
    const std::array<std::string, port_slots>& port_names() const { return port_names_; }
    // What identifies the listed ports, slot by slot, as the last scan found it.
    const std::array<port_description, port_slots>& port_descriptions() const {
        return descriptions_;
    }
    int selected_index() const { return selected_index_; }
    // Every port this user has been refused so far, by name.
    std::vector<std::string> denied_ports() const {
        return {permission_reported_.begin(), permission_reported_.end()};
    }

private:
    static void on_port_event(Tserial_event& port, int code);
    void resume_held();
    void note_permission_problem(std::string_view name);

    std::unique_ptr<port_namespace> own_names_;
    port_namespace& names_;
    rx_ring rx_ring_;
    bool port_closed_ = true;
    bool held_ = false; // closed, device kept open for the next open_close of held_name_
    std::string held_name_;
    // Set while held: the I/O thread discards what it receives.
    std::atomic<bool> discarding_{false};
    // Told on the I/O thread of what the connection received and of its end; waking
    // counts the I/O thread's calls in progress, so a change waits them out.
    std::atomic<arrival_wake*> wake_{nullptr};
    std::atomic<int> waking_{0};
    void tell_wake();
    // Chosen by slot: a refill leaves the choice where it was.
    port_list_state list_{port_list_state::after_refill::keep_choice};
    std::int8_t selected_index_ = -1;
    std::array<std::string, port_slots> port_names_;
    std::array<port_description, port_slots> descriptions_;
    std::vector<std::string> permission_pending_;
    std::set<std::string, std::less<>> permission_reported_;
    std::string busy_reported_; // the port last said to be in use, until it opens
};

} // namespace zev1
