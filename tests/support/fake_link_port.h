#pragma once
// A scripted link_port for unit tests of the link and the sequencer: a set of present
// port names, an open/closed flag, recorded line changes and events, and the byte pipe
// of memory_port (fed by the test, sends recorded). Sends to a closed port are refused,
// as the real port does.
#include "serial/link_port.h"
#include "support/memory_port.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class fake_link_port final : public link_port {
public:
    // --- what the test does -------------------------------------------------------------
    memory_port bytes;               // received bytes and accepted sends
    std::set<std::string> present;   // names that port_present() reports
    bool refuse_open = false;        // open_close() fails
    std::uint64_t overruns = 0;      // what overrun_count() reports
    std::vector<std::string> notes;  // handed out once by take_port_notes()
    std::vector<std::string> events; // "select X", "open", "close", "dtr+", "rts-", "scan", ...

    bool open() const { return open_; }
    const std::string& selected() const { return selected_; }
    int opens() const { return opens_; }
    int closes() const { return closes_; }
    int scans() const { return scans_; }
    // Unplugging: the connection ends by itself (still open until close_port) and the
    // name is gone until plugged in again.
    void unplug(const std::string& name) {
        present.erase(name);
        if (selected_ == name && open_) {
            gone_ = true;
        }
    }

    // --- byte_port ----------------------------------------------------------------------
    std::uint32_t rx_count() const override { return bytes.rx_count(); }
    std::uint8_t rx_peek(std::uint32_t i) const override { return bytes.rx_peek(i); }
    void rx_skip(std::uint32_t n) override { bytes.rx_skip(n); }
    std::uint8_t rx_get() override { return bytes.rx_get(); }
    bool send_bytes(std::span<const std::uint8_t> block) override {
        return open_ && !gone_ && bytes.send_bytes(block);
    }

    // --- link_port ----------------------------------------------------------------------
    bool port_present(std::string_view name) override {
        return present.contains(std::string(name));
    }
    void clear_port_list() override { built_ = false; }
    void scan_ports() override {
        built_ = true;
        ++scans_;
        events.emplace_back("scan");
    }
    void fill_port_list(port_list_view& view) override {
        view.clear_items();
        for (const auto& name : present) {
            view.append_item(name);
        }
    }
    void select_port(std::string_view name) override {
        close_port();
        selected_ = std::string(name);
        events.push_back("select " + selected_);
    }
    void open_close(std::uint32_t) override {
        if (open_) {
            close_port();
            return;
        }
        if (!refuse_open && !selected_.empty() && present.contains(selected_)) {
            // A connection starts with nothing received on the one before.
            bytes.rx_skip(bytes.rx_count());
            open_ = true;
            ++opens_;
            events.emplace_back("open");
        }
    }
    void close_port() override {
        gone_ = false;
        if (open_) {
            open_ = false;
            ++closes_;
            events.emplace_back("close");
        }
    }
    void hold_port() override {
        if (open_) {
            events.emplace_back("hold");
        }
        close_port();
    }
    std::string state_text() const override {
        return selected_.empty() ? std::string() : selected_ + (open_ ? " open" : " close");
    }
    bool is_open() const override { return open_; }
    bool port_selected() const override { return !selected_.empty(); }
    bool list_built() const override { return built_; }
    void set_dtr() override { events.emplace_back("dtr+"); }
    void clear_dtr() override { events.emplace_back("dtr-"); }
    void set_rts() override { events.emplace_back("rts+"); }
    void clear_rts() override { events.emplace_back("rts-"); }
    bool port_gone() const override { return gone_; }
    std::uint64_t overrun_count() const override { return overruns; }
    std::vector<std::string> take_port_notes() override {
        std::vector<std::string> taken;
        taken.swap(notes);
        return taken;
    }

private:
    bool open_ = false;
    bool gone_ = false;
    bool built_ = false;
    std::string selected_;
    int opens_ = 0;
    int closes_ = 0;
    int scans_ = 0;
};

} // namespace zev1
