#pragma once
// The port object proper: opens and configures one serial port, runs one I/O thread per
// open connection and reports what happens on the port through a notification function
// called on that thread.
//
// The I/O thread waits on seven event slots and handles exactly one per turn, the lowest
// signalled first: stop, read done, read request, write done, write request, line-event
// done, line-event request. Reads are one byte each; the next read starts only when the
// notified owner calls request_read(). One written block is in flight at a time.
#include "serial/port_os.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <span>
#include <string>
#include <string_view>
#include <thread>

namespace zev1 {

class Tserial_event {
public:
    // Notification codes passed to the event handler, always on the I/O thread.
    enum notification : int {
        SE_STARTED = 0,     // the thread has started, before the first read is requested
        SE_ENDED = 1,       // the thread is about to end; the port is already closed
        SE_WRITTEN = 2,     // a write has completed and the write block is free again
        SE_RECEIVED = 3,    // a read has completed with at least one byte
        SE_RING = 4,        // a ring line event with the ring indicator on
        SE_CARRIER_ON = 5,  // a carrier line event with the carrier on
        SE_CARRIER_OFF = 6, // a carrier line event with the carrier off
    };
    using event_fn = void (*)(Tserial_event& port, int code);

    static constexpr std::size_t read_buffer_size = 1025;
    static constexpr std::size_t write_block_size = 1024;
    static constexpr auto stop_wait = std::chrono::milliseconds(2000);

    explicit Tserial_event(event_fn handler = nullptr);
    ~Tserial_event();
    Tserial_event(const Tserial_event&) = delete;
    Tserial_event& operator=(const Tserial_event&) = delete;

    // Opens the named port and starts the I/O thread; otherwise says the last check that
    // failed, and no thread runs.
    open_failure open_port(std::string_view name, std::uint32_t baud, int parity, int byte_size,
                           bool line_events);
    // Ends the I/O thread, waiting at most 2000 ms. Does nothing when none runs.
    void stop_thread();
    // Hands one block to the I/O thread. Dropped (false) while a block is still being
    // written, at 1024 bytes or more, when empty, or when no connection runs.
    bool send_bytes(std::span<const std::uint8_t> bytes);
    // Modem-line escapes on the open port; results are ignored.
    void escape(line_escape what) { os_.escape(what); }
    // Discards what the open port has received and no read has taken yet.
    void purge_input() { os_.purge_input(); }

    bool running() const { return running_.load(); }
    bool write_pending() const { return write_pending_.load(std::memory_order_acquire); }
    bool port_valid() const { return os_.is_open(); }
    // An I/O thread exists that has not been joined yet.
    bool thread_known() const { return thread_.joinable(); }
    // The last open_port failed because the user may not open the device.
    bool last_open_denied() const { return last_open_denied_; }
    // The last open_port failed because another program holds the device.
    bool last_open_busy() const { return last_open_busy_; }
    // What the system said when the last open_port failed (empty: it said nothing).
    const std::string& last_open_reason() const { return last_open_reason_; }

protected:
    // For the notification function, during SE_RECEIVED: the bytes of the completed read.
    std::span<const std::uint8_t> received() const {
        return std::span<const std::uint8_t>(read_buffer_).first(read_count_);
    }
    // Starts the next one-byte read.
    void request_read() { os_.set_event(ev_read_request); }
    // Waits for a thread that is over or outlived stop_thread's wait.
    void join_thread();

private:
    void io_thread();
    bool handle_slot(int slot);
    void evaluate_lines();
    void notify(int code);

    port_os os_;
    event_fn event_handler_;
    std::atomic<bool> running_{false};
    std::atomic<bool> write_pending_{false};
    bool read_pending_ = false;
    bool wait_pending_ = false;
    bool last_open_denied_ = false;
    bool last_open_busy_ = false;
    std::string last_open_reason_;
    std::string port_name_;
    line_settings settings_;
    std::array<std::uint8_t, read_buffer_size> read_buffer_{};
    std::uint32_t read_size_ = 1;
    std::uint32_t read_count_ = 0;
    std::array<std::uint8_t, write_block_size> write_block_{};
    std::uint32_t write_length_ = 0;
    std::thread thread_;
    std::promise<void> ended_;
    std::future<void> ended_future_;
};

} // namespace zev1
