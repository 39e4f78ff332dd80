// The I/O thread loop and the connection life cycle of the port object.
#include "serial/serial_event.h"

#include <algorithm>
#include <system_error>

namespace zev1 {

Tserial_event::Tserial_event(event_fn handler) : event_handler_(handler) {}

Tserial_event::~Tserial_event() {
    stop_thread();
    // A thread that outlived the bounded wait still uses this object: wait for it.
    join_thread();
    os_.close();
}

open_failure Tserial_event::open_port(std::string_view name, std::uint32_t baud, int parity,
                                      int byte_size, bool line_events) {
    // One I/O thread per object: a previous one is stopped and joined first, so it can
    // neither close the new port nor share the buffers with a new thread.
    stop_thread();
    join_thread();

    open_failure failure = open_failure::none;
    last_open_denied_ = false;
    last_open_busy_ = false;
    last_open_reason_.clear();
    os_.close();
    if (name.empty()) {
        failure = open_failure::no_name;
    } else {
        port_name_ = std::string(name);
        settings_ = {baud, parity, byte_size, line_events};
        open_result opened = os_.open(port_name_, settings_);
        failure = opened.failure;
        last_open_denied_ = opened.permission_denied;
        last_open_busy_ = opened.busy;
        last_open_reason_ = std::move(opened.reason);
    }
    if (!os_.events_valid()) {
        failure = open_failure::no_events;
    }
    if (failure != open_failure::none) {
        os_.close();
        return failure;
    }

    // Nothing of an earlier connection may leak into this one: a stop requested while
    // the last thread was ending by itself, or a block handed over after it ended.
    for (int slot = 0; slot < event_slot_count; ++slot) {
        os_.reset_event(slot);
    }
    write_pending_.store(false);
    read_pending_ = false;
    wait_pending_ = false;
    running_.store(true);
    ended_ = std::promise<void>();
    ended_future_ = ended_.get_future();
    try {
        thread_ = std::thread([this] { io_thread(); });
    } catch (const std::system_error& error) {
        running_.store(false);
        os_.close();
        last_open_reason_ = error.code().message();
        return open_failure::no_events;
    }
    return open_failure::none;
}

void Tserial_event::stop_thread() {
    if (running_.exchange(false)) {
        os_.set_event(ev_stop);
    }
    if (thread_.joinable() && ended_future_.valid() &&
        ended_future_.wait_for(stop_wait) == std::future_status::ready) {
        thread_.join();
    }
}

void Tserial_event::join_thread() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool Tserial_event::send_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() >= write_block_size || !running_.load() ||
        write_pending_.load(std::memory_order_acquire)) {
        return false;
    }
    write_pending_.store(true, std::memory_order_relaxed);
    std::copy(bytes.begin(), bytes.end(), write_block_.begin());
    write_length_ = static_cast<std::uint32_t>(bytes.size());
    // The event hand-over publishes the block to the I/O thread.
    os_.set_event(ev_write_request);
    return true;
}

void Tserial_event::notify(int code) {
    if (event_handler_ != nullptr) {
        event_handler_(*this, code);
    }
}

void Tserial_event::io_thread() {
    // `running` was set by open_port before the thread started, so that a stop_thread
    // issued at once is not lost.
    notify(SE_STARTED);
    os_.set_event(ev_read_request);
    if (settings_.line_events) {
        os_.set_event(ev_line_request);
    }
    bool stop = false;
    while (!stop) {
        int slot = os_.wait_any();
        stop = slot < 0 || slot >= event_slot_count || handle_slot(slot);
    }
    running_.store(false);
    os_.close();
    notify(SE_ENDED);
    ended_.set_value();
}

// One turn of the loop; true when the thread is to end.
bool Tserial_event::handle_slot(int slot) {
    switch (slot) {
    case ev_stop:
        return true;
    case ev_read_done: {
        std::uint32_t count = 0;
        io_status st = os_.collect_read(count);
        if (st != io_status::done) {
            return st == io_status::failed;
        }
        os_.reset_event(ev_read_done);
        read_count_ = std::min<std::uint32_t>(count, read_size_);
        read_pending_ = false;
        if (read_count_ > 0) {
            notify(SE_RECEIVED);
        } else {
            // Nobody is notified of an empty read, so nobody would ask for the next one:
            // ask here, or reception would stall for good.
            os_.set_event(ev_read_request);
        }
        return false;
    }
    case ev_read_request:
        if (read_pending_) {
            return false;
        }
        read_pending_ = true;
        return os_.start_read(std::span<std::uint8_t>(read_buffer_).first(read_size_)) ==
               io_status::failed;
    case ev_write_done: {
        io_status st = os_.collect_write();
        if (st != io_status::done) {
            return st == io_status::failed;
        }
        os_.reset_event(ev_write_done);
        write_pending_.store(false, std::memory_order_release);
        notify(SE_WRITTEN);
        return false;
    }
    case ev_write_request:
        return os_.start_write(std::span<const std::uint8_t>(write_block_).first(write_length_)) ==
               io_status::failed;
    case ev_line_done: {
        io_status st = os_.collect_line_wait();
        if (st != io_status::done) {
            return st == io_status::failed;
        }
        os_.reset_event(ev_line_done);
        wait_pending_ = false;
        evaluate_lines();
        os_.set_event(ev_line_request);
        return false;
    }
    case ev_line_request:
        if (wait_pending_ || !settings_.line_events) {
            return false;
        }
        wait_pending_ = true;
        return os_.start_line_wait() == io_status::failed;
    default:
        return true;
    }
}

void Tserial_event::evaluate_lines() {
    const std::uint32_t status = os_.modem_status();
    const std::uint32_t mask = os_.line_mask();
    if ((mask & line_ev_ring) != 0 && (status & modem_ring_on) != 0) {
        notify(SE_RING);
    }
    if ((mask & line_ev_rlsd) != 0) {
        notify((status & modem_rlsd_on) != 0 ? SE_CARRIER_ON : SE_CARRIER_OFF);
    }
}

} // namespace zev1
