#pragma once
// The window scenarios drive the configurator through this small driver, so one set of
// scenarios runs against both toolkits: the Qt windows offscreen (tests/gui) and the
// Win32 windows under Wine (tests/wine). A driver starts the whole program as it ships
// (serial port, application object, its four windows), with its settings file in the
// test's folder and a pinned clock, and works the controls as a user does: click, type
// key by key, leave a field, pick a list entry, press a shortcut.
//
// Controls and windows are found by their names (the layout tables' names; the windows
// are "SDIAppForm", "AboutBox", "log_win" and "progress_win"). Texts are UTF-8.
#include "app/form_layout.h"
#include "app/terminal_form.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zev1::scenario {

// What the program finds at its start.
struct program_setup {
    std::filesystem::path settings; // its settings file
    // Qt: the ports its port list offers (paths of the simulators' links). Win32: unused,
    // the port list is COM0 .. COM99 as Wine offers them.
    std::vector<std::string> ports;
};

// What kind of window a window is.
struct window_traits {
    bool tool = false;      // tool window (small caption, no task bar button)
    bool topmost = false;   // stays on top of other windows
    bool close_box = false; // has a close box in its caption
    bool resizable = false;
};

class program_driver {
public:
    virtual ~program_driver() = default; // closes the program; its settings file is written

    // A control's caption or content; a window's caption.
    virtual std::string text(std::string_view name) = 0;
    virtual void click(std::string_view name) = 0;
    // Clicks with the mouse at the middle of the control's place, as a technician does:
    // the click goes where the toolkit sends a click at that point (an open popup or
    // list may take it for itself).
    virtual void click_at(std::string_view name) = 0;
    // Focuses a text field or combo box, selects its text and types text key by key,
    // each key through the program's own event path to whatever has the keys.
    virtual void type(std::string_view name, std::string_view text) = 0;
    // Presses "Enter", "Tab" or "Space" on whatever has the keys.
    virtual void press(std::string_view key) = 0;
    // Moves the focus on from the control, as the Tab key does.
    virtual void leave(std::string_view name) = 0;
    // Picks entry index of a combo box's list with the keyboard (from no entry chosen).
    virtual void choose(std::string_view name, int index) = 0;
    // A shortcut on the main window: "Ctrl+T" or "F1".
    virtual void shortcut(std::string_view keys) = 0;

    // The name a screen reader gives a control: what the toolkit ties to it (Qt: the
    // accessible name, which must agree with the label whose buddy it is; Win32: the
    // static text right before it in the window order, else the name the window set; the
    // page: the browser's computed name); empty: none.
    virtual std::string accessible_name(std::string_view name) = 0;
    // What a control or a window says under the mouse (its tooltip).
    virtual std::string hint(std::string_view name) = 0;
    virtual bool checked(std::string_view name) = 0;
    virtual bool visible(std::string_view name) = 0;
    // A progress bar's position, a combo box's selected entry (-1: none).
    virtual int value(std::string_view name) = 0;
    // The entry a combo box marks for its typed text (-1: none).
    virtual int suggested(std::string_view name) = 0;
    // The name of the window that has the keys (empty: none of the program's).
    virtual std::string active_window() = 0;
    // The height in design pixels of the font a control shows its text in.
    virtual int font_pixels(std::string_view name) = 0;
    virtual std::vector<std::string> items(std::string_view name) = 0;
    // The line of a memo at the top of its view; scrolls a memo to put line there.
    virtual int first_visible_line(std::string_view name) = 0;
    virtual void scroll_to_line(std::string_view name, int line) = 0;
    // A control's rectangle in its window's client area (pixels at 96 dots per inch).
    virtual design_box geometry(std::string_view name) = 0;
    // Whether the control's caption fits into it in the font it is shown in.
    virtual bool text_fits(std::string_view name) = 0;
    // The names of a window's controls as the Tab key visits them, pressed from the
    // control that has the focus: one round, ending before that control comes again (or
    // where the focus stays put or leaves the window's controls).
    virtual std::vector<std::string> tab_order(std::string_view window) = 0;

    virtual window_traits traits(std::string_view window) = 0;
    virtual screen_rect outer_geometry(std::string_view window) = 0;
    virtual design_box client_area(std::string_view window) = 0; // left and top are 0
    virtual bool maximised(std::string_view window) = 0;
    // Minimises a window, as its caption's button does; whether it is minimised.
    virtual void minimise(std::string_view window) = 0;
    virtual bool minimised(std::string_view window) = 0;
    virtual void resize_client(std::string_view window, int width, int height) = 0;

    // The texts of the message boxes that are open (notices, the transfer's error box).
    virtual std::vector<std::string> boxes() = 0;
    // Presses OK in the message box that is open.
    virtual void close_box() = 0;

    // The ticks the main window's loop has counted (those let pass as idle included), and
    // whether it may let idle ticks pass (it may from the start).
    virtual long long ticks() = 0;
    virtual void let_idle_ticks_pass(bool allowed) = 0;

    // Lets the program run until done() holds or timeout_ms have passed.
    virtual bool wait_for(const std::function<bool()>& done, int timeout_ms) = 0;
    void pause(int ms) {
        wait_for([] { return false; }, ms);
    }
};

// Starts the program (each toolkit's test executable provides it).
std::unique_ptr<program_driver> start_program(const program_setup& setup);

} // namespace zev1::scenario
