// The receive side of the port object, the port list and the connection state.
#include "serial/serial.h"

#include "serial/line_format.h"

#include <algorithm>
#include <thread>

namespace zev1 {

std::string permission_note(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return "no permission to open " + list +
           ": add your user to the dialout group (sudo usermod -aG dialout $USER) and log in "
           "again";
}

serial::serial()
    : Tserial_event(&serial::on_port_event), own_names_(make_system_namespace()),
      names_(*own_names_) {}

serial::serial(port_namespace& names) : Tserial_event(&serial::on_port_event), names_(names) {}

serial::~serial() {
    // The I/O thread writes into rx_ring_: end it before the members go.
    stop_thread();
    join_thread();
}

// Runs on the I/O thread.
void serial::on_port_event(Tserial_event& port, int code) {
    auto& self = static_cast<serial&>(port);
    if (code == SE_ENDED) {
        self.tell_wake(); // the link sees the port gone on its next tick
    }
    if (code != SE_RECEIVED) {
        return;
    }
    if (!self.discarding_.load(std::memory_order_acquire)) {
        auto bytes = self.received();
        for (std::uint8_t b : bytes.first(std::min<std::size_t>(bytes.size(), max_block_taken))) {
            self.rx_ring_.put(b);
        }
        // After the bytes are in the ring: the tick this wakes finds them there.
        self.tell_wake();
    }
    self.request_read();
}

void serial::tell_wake() {
    waking_.fetch_add(1);
    if (arrival_wake* wake = wake_.load()) {
        wake->arrived();
    }
    waking_.fetch_sub(1);
}

void serial::set_arrival_wake(arrival_wake* wake) {
    wake_.store(wake);
    while (waking_.load() != 0) {
        std::this_thread::yield();
    }
}

bool serial::port_present(std::string_view name) {
    probe_result r = names_.probe(name);
    if (r == probe_result::no_permission) {
        note_permission_problem(name);
    }
    return r == probe_result::present;
}

void serial::clear_port_list() {
    for (auto& name : port_names_) {
        name.clear();
    }
    descriptions_.fill({});
}

void serial::scan_ports() {
    stop_thread();
    // Start from an empty list even when the caller did not clear it, so no name of an
    // earlier scan survives behind the new ones.
    clear_port_list();
    std::size_t count = 0;
    for (const std::string& name : names_.candidates()) {
        if (port_present(name) && count < port_slots) {
            descriptions_[count] = names_.describe(name);
            list_.note_port(name, description_text(descriptions_[count]));
            port_names_[count++] = name;
        }
    }
    list_.scanned();
}

void serial::fill_port_list(port_list_view& view) {
    list_.fill(view, port_names_, selected_index_);
}

void serial::select_port(std::string_view name) {
    if (!port_closed_ || held_) {
        close_port();
    }
    for (std::size_t slot = 0; slot < port_slots; ++slot) {
        // An empty name would otherwise choose a free slot.
        if (!name.empty() && port_names_[slot] == name) {
            selected_index_ = static_cast<std::int8_t>(slot);
            list_.chosen();
        }
    }
}

void serial::open_close(std::uint32_t baud) {
    if (!port_closed_) {
        close_port();
        return;
    }
    if (selected_index_ < 0) {
        return;
    }
    const std::string& name = port_names_[static_cast<std::size_t>(selected_index_)];
    if (name.empty()) {
        return;
    }
    if (held_) {
        if (name == held_name_ && running()) {
            resume_held();
            return;
        }
        close_port(); // gone, failed or another port: a real open follows
    }
    // Nothing received on an earlier connection may be read as part of this one: with
    // that connection's thread ended, the ring is emptied before the new one starts.
    stop_thread();
    join_thread();
    rx_ring_.skip(rx_ring_.count());
    const bool opened =
        open_port(name, baud, link_parity, link_byte_size, false) == open_failure::none;
    if (!opened && last_open_denied()) {
        note_permission_problem(name);
    }
    if (!opened && last_open_busy() && busy_reported_ != name) {
        // The link retries every tick: said once, until the port has opened.
        busy_reported_ = name;
        list_.note(name + " is in use by another program");
    }
    if (opened) {
        busy_reported_.clear();
    }
    port_closed_ = !opened;
}

void serial::close_port() {
    stop_thread();
    held_ = false;
    discarding_.store(false, std::memory_order_release);
    port_closed_ = true;
}

void serial::hold_port() {
    if (port_closed_) {
        return;
    }
    if (!open_raises_modem_lines() || !running()) {
        close_port();
        return;
    }
    discarding_.store(true, std::memory_order_release);
    held_ = true;
    held_name_ = port_names_[static_cast<std::size_t>(selected_index_)];
    port_closed_ = true;
}

void serial::resume_held() {
    // What came in while the connection was closed is dropped, in the device and in the
    // ring, as a close and reopen would have dropped it.
    purge_input();
    discarding_.store(false, std::memory_order_release);
    rx_ring_.skip(rx_ring_.count());
    held_ = false;
    port_closed_ = false;
    busy_reported_.clear();
}

std::string serial::state_text() const {
    if (selected_index_ < 0) {
        return {};
    }
    return port_names_[static_cast<std::size_t>(selected_index_)] +
           (port_closed_ ? " close" : " open");
}

void serial::note_permission_problem(std::string_view name) {
    if (permission_reported_.find(name) == permission_reported_.end()) {
        permission_reported_.emplace(name);
        permission_pending_.emplace_back(name);
    }
}

std::vector<std::string> serial::take_port_notes() {
    std::vector<std::string> lines = list_.take_notes();
    if (!permission_pending_.empty()) {
        lines.push_back(permission_note(permission_pending_));
        permission_pending_.clear();
    }
    return lines;
}

} // namespace zev1
