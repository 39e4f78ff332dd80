// The browser configurator driven for the window scenarios: a Node process running
// harness.mjs (one per test process, so Chromium starts once) takes one JSON command a
// line and answers one line; each program start is a fresh page on a fresh serial
// bridge. The page's settings text goes into its storage at the start and comes back
// into the scenario's settings file when the program ends, so the scenarios see the
// settings file as on the desktop.
#include "web/web_driver.h"

#include "support/child_process.h"
#include "support/wait_until.h"
#include "windows/test_area.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <thread>
#include <unistd.h>

namespace zev1::scenario {
namespace {

using nlohmann::json;

std::string env_or(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

// The Node process with the browser.
class harness {
public:
    static harness& get() {
        static harness h;
        return h;
    }

    // Sends a command and waits for its answer; a failed command is a test failure and
    // answers null.
    json call(const json& command, int timeout_ms = 60000) {
        if (!node_.started() || !node_.write(command.dump() + "\n")) {
            ADD_FAILURE() << "the browser harness is not running";
            return nullptr;
        }
        std::string reply;
        if (!read_line(reply, timeout_ms)) {
            ADD_FAILURE() << "no answer from the browser harness to " << command.dump();
            return nullptr;
        }
        json r = json::parse(reply, nullptr, false);
        if (r.is_discarded() || !r.value("ok", false)) {
            ADD_FAILURE() << command.value("cmd", "?") << ": "
                          << (r.is_discarded() ? reply : r.value("error", reply));
            return nullptr;
        }
        return r["value"];
    }

    ~harness() { node_.stop(std::chrono::seconds(5)); }

private:
    harness()
        : node_({env_or("ZEV1_NODE", "node"), env_or("ZEV1_WEB_HARNESS", ZEV1_WEB_HARNESS)},
                {test::child_stream::piped(), test::child_stream::piped(), {}}, true) {
        ::signal(SIGPIPE, SIG_IGN);
    }

    bool read_line(std::string& line, int timeout_ms) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const auto nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            pollfd p{node_.out_fd(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[65536];
            const ssize_t n = ::read(node_.out_fd(), chunk, sizeof chunk);
            if (n <= 0) {
                return false;
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    test::child_process node_;
    std::string buffer_;
};

constexpr int vendor_id = 0x1209; // the pid.codes vendor id for test devices

struct port_names {
    std::mutex lock;
    std::vector<std::string> links; // index + 1 is the product id
    static port_names& get() {
        static port_names p;
        return p;
    }
};

std::string hex4(int v) {
    char s[8];
    std::snprintf(s, sizeof s, "%04x", v);
    return s;
}

// The link of a port name web_port_name() gave, with its product id.
std::pair<std::string, int> link_of(const std::string& name) {
    auto& p = port_names::get();
    const std::lock_guard guard(p.lock);
    for (std::size_t i = 0; i < p.links.size(); ++i) {
        const int product = static_cast<int>(i) + 0x5a01;
        if (name == "USB " + hex4(vendor_id) + ":" + hex4(product)) {
            return {p.links[i], product};
        }
    }
    return {"", 0};
}

class page_program final : public web_program {
public:
    explicit page_program(const web_setup& setup) : settings_(setup.settings) {
        json ports = json::array();
        int n = 0;
        for (const std::string& name : setup.ports) {
            const auto [link, product] = link_of(name);
            if (link.empty()) {
                ADD_FAILURE() << "no simulator link for port " << name;
                continue;
            }
            ports.push_back({{"id", "p" + std::to_string(++n)},
                             {"link", link},
                             {"usbVendorId", vendor_id},
                             {"usbProductId", product},
                             {"granted", setup.granted}});
        }
        json start = {{"cmd", "start"},
                      {"root", env_or("ZEV1_WEB_ROOT", ZEV1_WEB_ROOT)},
                      {"ports", ports},
                      {"serial", setup.web_serial},
                      {"chooser", setup.cancel_chooser ? "cancel" : "first"},
                      {"openError", setup.open_error},
                      {"insecure", setup.insecure},
                      {"signalsDelay", setup.signals_delay_ms},
                      {"clock", static_cast<double>(pinned_time()) * 1000.0}};
        if (std::filesystem::exists(settings_)) {
            start["settings"] = file_text(settings_);
        }
        const json ms = harness::get().call(start);
        load_ms_ = ms.is_number() ? ms.get<int>() : -1;
    }

    // The program ends: what the page keeps in its storage is its settings file.
    ~page_program() override {
        const json settings = harness::get().call({{"cmd", "stop"}});
        if (settings.is_string()) {
            write_file(settings_, settings.get<std::string>());
        }
    }

    std::string text(std::string_view name) override { return str(read("text", name)); }
    void click(std::string_view name) override {
        harness::get().call({{"cmd", "click"}, {"name", name}});
    }
    void click_at(std::string_view name) override {
        harness::get().call({{"cmd", "click_at"}, {"name", name}});
    }
    void type(std::string_view name, std::string_view text) override {
        harness::get().call({{"cmd", "type"}, {"name", name}, {"text", text}});
    }
    void leave(std::string_view name) override {
        harness::get().call({{"cmd", "leave"}, {"name", name}});
    }
    void choose(std::string_view name, int index) override {
        harness::get().call({{"cmd", "choose"}, {"name", name}, {"index", index}});
    }
    void shortcut(std::string_view keys) override {
        harness::get().call({{"cmd", "shortcut"}, {"keys", keys}});
    }
    void press(std::string_view key) override {
        harness::get().call({{"cmd", "press"}, {"key", key}});
    }
    std::string accessible_name(std::string_view name) override {
        return str(harness::get().call({{"cmd", "accessible_name"}, {"name", name}}));
    }
    json audit() override { return harness::get().call({{"cmd", "audit"}}); }
    std::string hint(std::string_view name) override { return str(read("hint", name)); }
    int suggested(std::string_view name) override {
        const json v = read("suggested", name);
        return v.is_number() ? v.get<int>() : -1;
    }
    std::string active_window() override {
        return str(harness::get().call({{"cmd", "read"}, {"what", "active_window"}}));
    }
    int font_pixels(std::string_view name) override {
        const json v = read("font_pixels", name);
        return v.is_number() ? v.get<int>() : 0;
    }
    bool checked(std::string_view name) override { return read("checked", name) == true; }
    long long ticks() override {
        const json v = harness::get().call({{"cmd", "read"}, {"what", "ticks"}});
        return v.is_number() ? v.get<long long>() : -1;
    }
    void let_idle_ticks_pass(bool allowed) override {
        harness::get().call(
            {{"cmd", "read"}, {"what", "let_idle_ticks_pass"}, {"args", {allowed}}});
    }
    bool visible(std::string_view name) override { return read("visible", name) == true; }
    int value(std::string_view name) override {
        const json v = read("value", name);
        return v.is_number() ? v.get<int>() : -1;
    }
    std::vector<std::string> items(std::string_view name) override {
        const json v = read("items", name);
        return v.is_array() ? v.get<std::vector<std::string>>() : std::vector<std::string>{};
    }
    int first_visible_line(std::string_view name) override {
        const json v = read("first_visible_line", name);
        return v.is_number() ? v.get<int>() : -1;
    }
    void scroll_to_line(std::string_view name, int line) override {
        harness::get().call({{"cmd", "read"}, {"what", "scroll_to_line"}, {"args", {name, line}}});
    }
    design_box geometry(std::string_view name) override {
        const json g = read("geometry", name);
        if (!g.is_object()) {
            return {};
        }
        return {g["left"].get<int>(), g["top"].get<int>(), g["width"].get<int>(),
                g["height"].get<int>()};
    }
    bool text_fits(std::string_view name) override { return read("text_fits", name) == true; }
    std::vector<std::string> tab_order(std::string_view window) override {
        const json v = harness::get().call({{"cmd", "tab_order"}, {"window", window}});
        return v.is_array() ? v.get<std::vector<std::string>>() : std::vector<std::string>{};
    }

    // A page has no window frames: these are the desktop's alone.
    window_traits traits(std::string_view) override {
        return unsupported("traits"), window_traits{};
    }
    screen_rect outer_geometry(std::string_view) override {
        return unsupported("outer_geometry"), screen_rect{};
    }
    design_box client_area(std::string_view window) override { return geometry(window); }
    bool maximised(std::string_view) override { return unsupported("maximised"), false; }
    void minimise(std::string_view) override { unsupported("minimise"); }
    bool minimised(std::string_view) override { return unsupported("minimised"), false; }
    void resize_client(std::string_view, int, int) override { unsupported("resize_client"); }

    std::vector<std::string> boxes() override {
        const json v = harness::get().call({{"cmd", "read"}, {"what", "boxes"}});
        return v.is_array() ? v.get<std::vector<std::string>>() : std::vector<std::string>{};
    }
    void close_box() override { harness::get().call({{"cmd", "close_box"}}); }

    bool wait_for(const std::function<bool()>& done, int timeout_ms) override {
        return test::wait_until(done, std::chrono::milliseconds(timeout_ms),
                                std::chrono::milliseconds(20));
    }

    json serial_trace() override {
        return harness::get().call({{"cmd", "read"}, {"what", "trace"}});
    }
    json storage() override {
        return harness::get().call({{"cmd", "read"}, {"what", "storageAll"}});
    }
    bool line_error(std::string_view name, int lose) override {
        return harness::get().call({{"cmd", "line_error"}, {"name", name}, {"lose", lose}}) == true;
    }
    bool write_error(std::string_view name) override {
        return harness::get().call({{"cmd", "write_error"}, {"name", name}}) == true;
    }
    json download(std::string_view control) override {
        return harness::get().call({{"cmd", "download"}, {"name", control}});
    }
    void reload(bool fresh_tab) override {
        harness::get().call({{"cmd", "reload"}, {"fresh", fresh_tab}});
    }
    void serve(std::string_view files) override {
        harness::get().call({{"cmd", "serve"}, {"files", files}});
    }
    json installability_errors() override {
        return harness::get().call({{"cmd", "installability"}});
    }
    json evaluate(std::string_view expression) override {
        return harness::get().call({{"cmd", "evaluate"}, {"expression", expression}});
    }
    int load_ms() const override { return load_ms_; }
    json beyond_right(int width, int height) override {
        harness::get().call({{"cmd", "viewport"}, {"width", width}, {"height", height}});
        return harness::get().call({{"cmd", "read"}, {"what", "beyond_right"}});
    }
    void screenshot(const std::filesystem::path& file) override {
        harness::get().call({{"cmd", "screenshot"}, {"file", file.string()}});
    }

private:
    static json read(const char* what, std::string_view name) {
        return harness::get().call({{"cmd", "read"}, {"what", what}, {"args", {name}}});
    }
    static std::string str(const json& v) { return v.is_string() ? v.get<std::string>() : ""; }
    static void unsupported(const char* what) {
        ADD_FAILURE() << what << ": a page has no window frame";
    }

    std::filesystem::path settings_;
    int load_ms_ = -1;
};

} // namespace

std::string web_port_name(const std::string& link) {
    auto& p = port_names::get();
    const std::lock_guard guard(p.lock);
    auto at = std::find(p.links.begin(), p.links.end(), link);
    if (at == p.links.end()) {
        at = p.links.insert(p.links.end(), link);
    }
    return "USB " + hex4(vendor_id) + ":" + hex4(static_cast<int>(at - p.links.begin()) + 0x5a01);
}

std::unique_ptr<web_program> start_web_program(const web_setup& setup) {
    return std::make_unique<page_program>(setup);
}

std::unique_ptr<program_driver> start_program(const program_setup& setup) {
    return start_web_program({setup.settings, setup.ports});
}

} // namespace zev1::scenario
