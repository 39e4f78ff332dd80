#pragma once
// The link and the sequencer are built before the windows that show their output, and
// destroyed after them. They are handed these relays at construction; the windows
// attach themselves once they exist and detach before they go. Calls made while nothing
// is attached are dropped (a progress query answers "no Cancel").
#include "link/counter_view.h"
#include "log/traffic_log.h"
#include "memory/progress_view.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace zev1 {

class traffic_log_relay final : public traffic_log {
public:
    void attach(traffic_log* target) { target_ = target; }
    void add_packet_line(std::span<const std::uint8_t> frame, bool received, std::string_view name,
                         std::string_view text) override {
        if (target_ != nullptr) {
            target_->add_packet_line(frame, received, name, text);
        }
    }
    void log_text(std::string_view text) override {
        if (target_ != nullptr) {
            target_->log_text(text);
        }
    }

private:
    traffic_log* target_ = nullptr;
};

class counter_view_relay final : public counter_view {
public:
    void attach(counter_view* target) { target_ = target; }
    void show_counter(std::string_view decimal) override {
        if (target_ != nullptr) {
            target_->show_counter(decimal);
        }
    }

private:
    counter_view* target_ = nullptr;
};

class progress_view_relay final : public progress_view {
public:
    void attach(progress_view* target) { target_ = target; }
    void show_progress(std::string_view text, std::uint32_t total, bool visible) override {
        if (target_ != nullptr) {
            target_->show_progress(text, total, visible);
        }
    }
    void set_remaining(std::uint32_t remaining) override {
        if (target_ != nullptr) {
            target_->set_remaining(remaining);
        }
    }
    bool take_cancel() override { return target_ != nullptr && target_->take_cancel(); }
    void show_error(std::string_view text) override {
        if (target_ != nullptr) {
            target_->show_error(text);
        }
    }

private:
    progress_view* target_ = nullptr;
};

} // namespace zev1
