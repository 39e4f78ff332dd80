#pragma once
// Stand-ins for the toolkit windows in the forms' tests: they record what the form shows
// and answer what a window would. The codec keeps bytes as they are.
#include "app/main_layout.h"
#include "app/main_view.h"
#include "app/progress_form.h"
#include "app/terminal_form.h"
#include "app/text_codec.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zev1 {

class same_bytes_codec final : public text_codec {
public:
    std::string to_window(std::string_view local) const override { return std::string(local); }
    std::string to_local(std::string_view window) const override { return std::string(window); }
};

// The controls of a window: texts, ticks and places by row (the main window has the most).
class fake_controls : public virtual form_controls {
public:
    std::vector<std::string> calls; // in order: "text ...", "visible 1", "pump", "bar 0", ...
    std::array<std::string, main_control_count> texts{};
    std::array<bool, main_control_count> ticks{};
    std::array<design_box, main_control_count> places{};
    std::string caption;
    std::array<std::string, main_control_count> hints{};
    std::string window_hint;

    void set_text(std::size_t row, std::string_view text) override {
        texts[row] = text;
        calls.push_back("text " + std::string(text));
    }
    std::string text(std::size_t row) const override { return texts[row]; }
    void set_checked(std::size_t row, bool checked) override { ticks[row] = checked; }
    bool checked(std::size_t row) const override { return ticks[row]; }
    void place(std::size_t row, const design_box& box) override { places[row] = box; }
    void set_caption(std::string_view text) override {
        caption = text;
        calls.push_back("caption " + std::string(text));
    }
    void set_hint(std::size_t row, std::string_view text) override { hints[row] = text; }
    void set_window_hint(std::string_view text) override { window_hint = text; }
    void set_accessible_name(std::size_t, std::string_view) override {}
};

class fake_main_window final : public fake_controls, public main_view {
public:
    std::vector<std::string> notices;
    std::array<int, main_control_count> suggestions{};

    void clear_items(std::size_t) override {}
    void append_item(std::size_t, std::string_view) override {}
    void show_suggestion(std::size_t row, int index) override { suggestions[row] = index; }
    void set_item_index(std::size_t row, int index) override {
        const auto items = main_controls[row].items;
        texts[row] = index >= 0 && static_cast<std::size_t>(index) < items.size()
                         ? std::string(items[static_cast<std::size_t>(index)])
                         : std::string();
    }
    void show_notice(std::string_view text) override { notices.emplace_back(text); }
};

class fake_progress_window final : public fake_controls, public progress_window_view {
public:
    std::function<void()> on_pump; // what runs while pending events are processed
    int position = 0;

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

class fake_terminal_window final : public fake_controls, public terminal_window_view {
public:
    std::array<std::vector<std::string>, terminal_control_count> lines{};
    screen_rect outer{0, 0, 718, 698}; // the design client area and a frame
    std::vector<screen_rect> outer_sets;
    bool zoomed = false;

    void append_line(std::size_t memo, std::string_view line) override {
        lines[memo].emplace_back(line);
    }
    void drop_first_lines(std::size_t memo, int count) override {
        auto& memo_lines = lines[memo];
        memo_lines.erase(
            memo_lines.begin(),
            memo_lines.begin() +
                std::min<std::ptrdiff_t>(count, static_cast<std::ptrdiff_t>(memo_lines.size())));
    }
    screen_rect outer_geometry() const override { return outer; }
    void set_outer_geometry(const screen_rect& r) override {
        outer = r;
        outer_sets.push_back(r);
    }
    bool maximised() const override { return zoomed; }
    void set_maximised(bool m) override { zoomed = m; }
};

} // namespace zev1
