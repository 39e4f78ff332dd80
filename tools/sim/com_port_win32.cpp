#include "com_port.h"

#include <algorithm>

namespace zev1::sim {

com_port::com_port(wake_signal& wake) : Tserial_event(&com_port::on_event), wake_(wake) {
    inbox_.reserve(inbox_limit);
}

com_port::~com_port() {
    close();
}

bool com_port::open(const std::string& name, std::string& error) {
    close();
    {
        const std::lock_guard lock(mutex_);
        inbox_.clear();
        paused_ = false;
    }
    const open_failure failure =
        open_port(name, link_baud_rate, link_parity, link_byte_size, false);
    if (failure != open_failure::none) {
        error = "cannot open " + name +
                (last_open_denied() ? " (in use or access denied)"
                                    : " (error " + std::to_string(static_cast<int>(failure)) + ")");
        return false;
    }
    name_ = name;
    return true;
}

void com_port::close() {
    // The I/O thread writes into the inbox: end it before anything else goes.
    stop_thread();
    join_thread();
}

// Runs on the I/O thread.
void com_port::on_event(Tserial_event& port, int code) {
    auto& self = static_cast<com_port&>(port);
    if (code == SE_RECEIVED) {
        const auto bytes = self.received();
        bool more = false;
        {
            const std::lock_guard lock(self.mutex_);
            self.inbox_.insert(self.inbox_.end(), bytes.begin(), bytes.end());
            more = self.inbox_.size() < inbox_limit;
            self.paused_ = !more;
        }
        if (more) {
            self.request_read();
        }
    }
    if (code == SE_RECEIVED || code == SE_WRITTEN || code == SE_ENDED) {
        self.wake_.notify();
    }
}

void com_port::take(rx_buffer& rx) {
    bool resume = false;
    {
        const std::lock_guard lock(mutex_);
        const auto n = std::min<std::size_t>(inbox_.size(), rx.room());
        if (n == 0) {
            return;
        }
        rx.append(std::span(inbox_).first(n));
        inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(n));
        resume = paused_ && inbox_.size() < inbox_limit;
        if (resume) {
            paused_ = false;
        }
    }
    if (resume) {
        request_read();
    }
}

tx_sink::result com_port::write(std::span<const std::uint8_t> bytes) {
    if (!running()) {
        return {outcome::failed, 0};
    }
    if (bytes.empty() || write_pending()) {
        return {outcome::full, 0};
    }
    const auto block = bytes.first(std::min(bytes.size(), write_block_size - 1));
    if (!send_bytes(block)) {
        // Refused although idle a moment ago: the thread ended in between.
        return running() ? result{outcome::full, 0} : result{outcome::failed, 0};
    }
    return {outcome::written, block.size()};
}

} // namespace zev1::sim
