#pragma once
// The simulator's serial port on Windows: a COM port driven by the core's port object
// (overlapped I/O on its own thread). Received bytes wait in a bounded inbox until the
// loop takes them; sends go out as blocks of at most 1023 bytes, one in flight.
#include "rx_buffer.h"
#include "serial/serial_event.h"
#include "transmitter.h"
#include "wake_signal.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zev1::sim {

class com_port final : public Tserial_event, public tx_sink {
public:
    // While this many bytes wait untaken, the port reads no further.
    static constexpr std::size_t inbox_limit = 16384;

    explicit com_port(wake_signal& wake);
    ~com_port();
    com_port(const com_port&) = delete;
    com_port& operator=(const com_port&) = delete;

    // Opens name (COM1, COM12, ...) raw at 115200 8N1.
    bool open(const std::string& name, std::string& error);
    void close();
    // Open, and its I/O thread still runs (it ends when the port fails).
    bool is_open() const { return running(); }
    const std::string& name() const { return name_; }

    // Moves waiting bytes into rx, as many as fit.
    void take(rx_buffer& rx);
    // Full while the previous block is still being written.
    result write(std::span<const std::uint8_t> bytes) override;

private:
    static void on_event(Tserial_event& port, int code);

    wake_signal& wake_;
    std::string name_;
    std::mutex mutex_; // guards inbox_ and paused_, shared with the I/O thread
    std::vector<std::uint8_t> inbox_;
    bool paused_ = false; // the inbox was full: no read is pending
};

} // namespace zev1::sim
