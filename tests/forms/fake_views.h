#pragma once
// Stand-ins for the toolkit windows in the forms' tests: they record what the form shows
// and answer what a window would. The codec keeps bytes as they are.
#include "app/progress_form.h"
#include "app/terminal_form.h"
#include "app/text_codec.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace zev1 {

class same_bytes_codec final : public text_codec {
public:
    std::string to_window(std::string_view local) const override { return std::string(local); }
    std::string to_local(std::string_view window) const override { return std::string(window); }
};

class fake_progress_window final : public progress_window_view {
public:
    std::vector<std::string> calls; // in order: "text ...", "visible 1", "pump", "bar 0", ...
    std::function<void()> on_pump;  // what runs while pending events are processed
    std::array<std::string, progress_control_count> texts{};
    int position = 0;

    void set_text(progress_control c, std::string_view text) override {
        texts[row(c)] = text;
        calls.push_back("text " + std::string(text));
    }
    void set_caption(std::string_view text) override {
        calls.push_back("caption " + std::string(text));
    }
    void set_visible(bool visible) override {
        calls.push_back(visible ? "visible 1" : "visible 0");
    }
    void process_pending_events() override {
        calls.emplace_back("pump");
        if (on_pump) {
            on_pump();
        }
    }
    void set_bar(int p) override {
        position = p;
        calls.push_back("bar " + std::to_string(p));
    }
    int bar() const override { return position; }
    void show_error(std::string_view text) override {
        calls.push_back("error " + std::string(text));
    }
};

class fake_terminal_window final : public terminal_window_view {
public:
    std::array<std::string, terminal_control_count> texts{};
    std::array<bool, terminal_control_count> ticks{};
    std::array<std::vector<std::string>, terminal_control_count> lines{};
    std::array<design_box, terminal_control_count> places{};
    std::string caption;
    screen_rect outer{0, 0, 718, 698}; // the design client area and a frame
    std::vector<screen_rect> outer_sets;
    bool zoomed = false;

    void set_text(terminal_control c, std::string_view text) override { texts[row(c)] = text; }
    void set_caption(std::string_view text) override { caption = text; }
    void set_checked(terminal_control c, bool checked) override { ticks[row(c)] = checked; }
    bool checked(terminal_control c) const override { return ticks[row(c)]; }
    void append_line(terminal_control memo, std::string_view line) override {
        lines[row(memo)].emplace_back(line);
    }
    screen_rect outer_geometry() const override { return outer; }
    void set_outer_geometry(const screen_rect& r) override {
        outer = r;
        outer_sets.push_back(r);
    }
    bool maximised() const override { return zoomed; }
    void set_maximised(bool m) override { zoomed = m; }
    void place(terminal_control c, const design_box& box) override { places[row(c)] = box; }
};

} // namespace zev1
