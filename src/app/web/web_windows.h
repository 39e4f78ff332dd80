#pragma once
// The page's windows as the forms see them: every call goes to the page's DOM code
// (page.js), which keeps one element per control of the layout tables. A window is
// addressed by its number in the page (web_window_id), a control by its row.
#include "app/main_view.h"
#include "app/message_boxes.h"
#include "app/progress_form.h"
#include "app/terminal_form.h"
#include "app/text_codec.h"

#include <string>
#include <string_view>

namespace zev1::web {

enum class web_window_id : int { main = 0, progress = 1, terminal = 2, about = 3 };

// The page's texts are UTF-8, and so are the bytes it sends: the controller gets what
// was typed, as from a Linux desktop. Bytes that are not UTF-8 (an erased controller's
// 0xFF) are shown as U+FFFD; the form then sends the controller's own bytes back.
class utf8_codec final : public text_codec {
public:
    std::string to_window(std::string_view local) const override;
    std::string to_local(std::string_view window) const override { return std::string(window); }
};

class web_form : public virtual form_controls {
public:
    explicit web_form(web_window_id id) : id_(static_cast<int>(id)) {}

    void set_text(std::size_t row, std::string_view text) override;
    std::string text(std::size_t row) const override;
    void set_checked(std::size_t row, bool checked) override;
    bool checked(std::size_t row) const override;
    void place(std::size_t row, const design_box& box) override;
    void set_caption(std::string_view text) override;
    void set_hint(std::size_t row, std::string_view text) override;
    void set_window_hint(std::string_view text) override;
    void set_accessible_name(std::size_t row, std::string_view text) override;

protected:
    ~web_form() = default;
    int id() const { return id_; }

private:
    int id_;
};

// The page's message box (one element, page.js) opened when the shared queue says so; OK
// reports back through zev1_box_closed(). Being woken only marks the queue: the page's
// loop opens what waits once the tick is over (open_if_woken).
class web_box_opener final : public box_opener {
public:
    message_boxes& queue() { return queue_; }
    void open_box(box_kind kind, std::string_view text) override;
    void wake() override { woken_ = true; }
    void open_if_woken() {
        if (woken_) {
            woken_ = false;
            queue_.open_waiting();
        }
    }

private:
    message_boxes queue_{*this};
    bool woken_ = false;
};

class web_main_window final : public web_form, public main_view {
public:
    explicit web_main_window(message_boxes& boxes) : web_form(web_window_id::main), boxes_(boxes) {}
    void clear_items(std::size_t row) override;
    void append_item(std::size_t row, std::string_view text) override;
    void set_item_index(std::size_t row, int index) override;
    void show_suggestion(std::size_t row, int index) override;
    void show_notice(std::string_view text) override;

private:
    message_boxes& boxes_;
};

class web_progress_window final : public web_form, public progress_window_view {
public:
    explicit web_progress_window(message_boxes& boxes)
        : web_form(web_window_id::progress), boxes_(boxes) {}
    void set_visible(bool visible) override;
    // Nothing waits: the page's own loop shows the change when this tick returns.
    void process_pending_events() override {}
    void set_bar(int position) override;
    int bar() const override { return bar_; }
    void show_error(std::string_view text) override;

private:
    message_boxes& boxes_;
    int bar_ = 0;
};

// The terminal is a panel of the page: its place on the screen is the browser's, so the
// settings' place and size are kept as they are read and written back unchanged.
class web_terminal_window final : public web_form, public terminal_window_view {
public:
    web_terminal_window() : web_form(web_window_id::terminal) {}
    void append_line(std::size_t memo, std::string_view line) override;
    void drop_first_lines(std::size_t memo, int count) override;
    screen_rect outer_geometry() const override { return geometry_; }
    void set_outer_geometry(const screen_rect& r) override { geometry_ = r; }
    bool maximised() const override { return maximised_; }
    void set_maximised(bool maximised) override { maximised_ = maximised; }

private:
    screen_rect geometry_{0, 0, 718, 698};
    bool maximised_ = false;
};

class web_about_box final : public web_form {
public:
    web_about_box() : web_form(web_window_id::about) {}
};

} // namespace zev1::web
