#pragma once
// Recorders standing in for the windows in link and sequencer tests: the traffic log,
// the received-frame counter box and the progress window (with a hook that lets a test
// run a nested tick where a real window would process pending events).
#include "link/counter_view.h"
#include "log/traffic_log.h"
#include "memory/progress_percent.h"
#include "memory/progress_view.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class recording_log final : public traffic_log {
public:
    struct packet {
        std::vector<std::uint8_t> frame;
        bool received = false;
        std::string name;
        std::string text;
        std::uint8_t type() const { return frame.size() > 4 ? frame[4] : 0xFF; }
    };
    std::vector<packet> packets;
    std::vector<std::string> texts;
    // Everything in order: "rx <type>", "tx <type>", "text <text>".
    std::vector<std::string> order;

    void add_packet_line(std::span<const std::uint8_t> frame, bool received, std::string_view name,
                         std::string_view text) override {
        packets.push_back(
            {{frame.begin(), frame.end()}, received, std::string(name), std::string(text)});
        order.push_back((received ? "rx " : "tx ") + std::to_string(packets.back().type()));
    }
    void log_text(std::string_view text) override {
        texts.emplace_back(text);
        order.push_back("text " + std::string(text));
    }
    std::vector<packet> sent() const {
        std::vector<packet> out;
        for (const auto& p : packets) {
            if (!p.received) {
                out.push_back(p);
            }
        }
        return out;
    }
};

class recording_counter final : public counter_view {
public:
    std::vector<std::string> shown;
    void show_counter(std::string_view decimal) override { shown.emplace_back(decimal); }
};

class recording_progress final : public progress_view {
public:
    struct shown_call {
        std::string text;
        std::uint32_t total;
        bool visible;
    };
    std::vector<shown_call> shows;
    std::vector<std::uint32_t> percents; // what the bar shows after each set_remaining
    std::vector<std::string> errors;
    bool cancel = false;
    std::uint32_t total = 0;
    std::function<void()> on_event; // runs inside show_progress and show_error

    void show_progress(std::string_view text, std::uint32_t new_total, bool visible) override {
        shows.push_back({std::string(text), new_total, visible});
        total = new_total;
        if (on_event) {
            on_event();
        }
        if (visible) {
            cancel = false;
        }
    }
    void set_remaining(std::uint32_t remaining) override {
        if (total != 0) {
            percents.push_back(progress_percent(total, remaining));
        }
    }
    bool take_cancel() override {
        const bool taken = cancel;
        cancel = false;
        return taken;
    }
    void show_error(std::string_view text) override {
        errors.emplace_back(text);
        if (on_event) {
            on_event();
        }
    }
};

} // namespace zev1
