#pragma once
// What the serial layer's tests share on every platform: a port object that records its
// notifications, test bytes, taking what the receive ring holds, and waiting for a state.
#include "serial/serial_event.h"
#include "support/wait_until.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace zev1::test {

// A port object that records every notification and reads on.
class recording_port : public Tserial_event {
public:
    recording_port() : Tserial_event(&recording_port::on_event) {}
    ~recording_port() {
        stop_thread();
        join_thread();
    }

    std::vector<int> codes() {
        const std::lock_guard lock(mutex_);
        return codes_;
    }
    std::size_t count_of(int code) {
        const std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count(codes_.begin(), codes_.end(), code));
    }

private:
    static void on_event(Tserial_event& port, int code) {
        auto& self = static_cast<recording_port&>(port);
        const std::lock_guard lock(self.mutex_);
        self.codes_.push_back(code);
        if (code == SE_RECEIVED) {
            self.request_read();
        }
    }

    std::mutex mutex_;
    std::vector<int> codes_;
};

// n bytes that differ from their neighbours and, past 256, from their namesakes.
inline std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t seed = 0) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
    return v;
}

// Up to n bytes from the port's receive ring.
template <class Port>
std::vector<std::uint8_t> take(Port& port,
                               std::size_t n = std::numeric_limits<std::size_t>::max()) {
    std::vector<std::uint8_t> v;
    while (v.size() < n && port.rx_count() > 0) {
        v.push_back(port.rx_get());
    }
    return v;
}

} // namespace zev1::test
