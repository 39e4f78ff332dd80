// zev1-wifi-config in the browser: the program's modules (the Web Serial port object, the
// application object with the settings file, link and sequencer) and its four windows,
// drawn by the page (page.js) from the same layout tables and forms as the desktop
// windows. The page loads the settings file into the in-memory file system before it
// calls zev1_start(), drives the 10 ms tick through zev1_tick() and forwards the user's
// clicks, choices and focus changes.
#include "app/about.h"
#include "app/application.h"
#include "app/attached_views.h"
#include "app/main_form.h"
#include "app/main_layout.h"
#include "app/main_texts.h"
#include "app/progress_form.h"
#include "app/terminal_form.h"
#include "app/web/web_windows.h"
#include "serial/platform/web/web_port_host.h"
#include "serial/web_serial.h"

#include <chrono>
#include <emscripten/emscripten.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace zev1::web {

namespace {

// clang-format off
EM_JS(void, js_log_append, (const char* name, const char* text), {
    Zev1Page.logAppend(UTF8ToString(name), UTF8ToString(text));
});
EM_JS(void, js_port_problem, (const char* why, const char* port), {
    Zev1Page.portProblem(UTF8ToString(why), UTF8ToString(port));
});
EM_JS(void, js_tick_after, (double ms), { Zev1Page.tickAfter(ms); });
// clang-format on

// A wait as the page's timers take it.
double milliseconds_of(zev1::tick_schedule::clock::duration wait) {
    return std::chrono::duration<double, std::milli>(wait).count();
}

// The settings file in the page's in-memory file system; page.js keeps its text in the
// browser's storage.
constexpr const char* settings_file = "/zev1/zev1-wifi-config.INI";

struct program {
    utf8_codec codec;
    browser_port_host host;
    web_serial port{host};
    Tlpc1xxx app{settings_place(settings_file), port};
    web_box_opener boxes;
    web_main_window main_window{boxes.queue()};
    TSDIAppForm main_form{main_window, app, codec};
    web_about_box about;
    web_terminal_window log_window;
    Tlog_win log_form{log_window, app, codec, system_clock_source()};
    web_progress_window progress_window{boxes.queue()};
    Tprogress_win progress_form{progress_window, codec};
    attached_views views{app, log_form, main_form, progress_form};

    // How much of the current log file the page has kept in the browser's storage.
    std::string kept_log;
    std::uintmax_t kept_size = 0;
    std::string shown_problem; // the failure's name, empty: none
    std::string shown_problem_port;

    program() {
        attach_web_port(&port);
        app.schedule().set_wake([this] { woken(); });
        main_form.FormCreate();
        log_form.FormCreate();
        const auto texts = about_texts(app.path(), main_form.german());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            about.set_text(i, texts[i]);
        }
        // The page's settings file is no file of the system: the browser keeps its text.
        about.set_text(row(about_control::SettingsFile),
                       "zev1-wifi-config.INI, kept by this browser");
    }
    ~program() {
        app.schedule().set_wake(nullptr);
        attach_web_port(nullptr);
    }
    program(const program&) = delete;
    program& operator=(const program&) = delete;

    // One run of the worker's timer: the ticks it stands for.
    int tick() {
        // The worker's own 10 ms step may come before a later deadline it was told too
        // late: nothing runs before its time.
        if (const auto early = app.schedule().wait(); early > std::chrono::milliseconds(2)) {
            js_tick_after(milliseconds_of(early));
            return 0;
        }
        port.pump();
        const int ticks = app.schedule().begin_run();
        boxes.queue().enter_tick();
        main_form.Timer1Timer(ticks);
        boxes.queue().leave_tick();
        keep_log();
        show_problem();
        boxes.open_if_woken();
        js_tick_after(milliseconds_of(app.schedule().end_run()));
        return ticks;
    }

    // The port's events (and the user's clicks) come on this one thread: a wait that lets
    // ticks pass is shortened at once.
    void woken() {
        if (const auto wait = app.schedule().woken()) {
            js_tick_after(milliseconds_of(*wait));
        }
    }

    // Every line the log file got since the last tick goes to the browser's storage, so
    // a closed tab or a crash loses nothing.
    void keep_log() {
        const std::string name = log_form.log_path().string();
        if (name.empty()) {
            return;
        }
        if (name != kept_log) {
            kept_log = name;
            kept_size = 0;
        }
        std::error_code error;
        const std::uintmax_t end = std::filesystem::file_size(name, error);
        if (error || end <= kept_size) {
            return;
        }
        std::ifstream file(name, std::ios::binary);
        std::string added(static_cast<std::size_t>(end - kept_size), '\0');
        file.seekg(static_cast<std::streamoff>(kept_size));
        file.read(added.data(), static_cast<std::streamsize>(added.size()));
        added.resize(static_cast<std::size_t>(file.gcount()));
        kept_size += added.size();
        js_log_append(name.c_str(), added.c_str());
    }

    void show_problem() {
        const auto& problem = port.problem();
        const std::string why(problem ? open_failure_name(problem->why) : "");
        const std::string port_name = problem ? problem->port : std::string();
        if (why != shown_problem || port_name != shown_problem_port) {
            shown_problem = why;
            shown_problem_port = port_name;
            js_port_problem(why.c_str(), port_name.c_str());
        }
    }
};

std::optional<program> the_program;

// Whether window and row name a control of the main window.
bool main_row(int window, int row) {
    return window == static_cast<int>(web_window_id::main) && row >= 0 &&
           static_cast<std::size_t>(row) < main_control_count;
}

} // namespace

} // namespace zev1::web

using zev1::web::main_row;
using zev1::web::the_program;

extern "C" {

EMSCRIPTEN_KEEPALIVE void zev1_start() {
    if (!the_program) {
        the_program.emplace();
    }
}

// One run of the tick; the number of ticks it stood for. The next run's wait goes to
// Zev1Page.tickAfter.
EMSCRIPTEN_KEEPALIVE int zev1_tick() {
    return the_program ? the_program->tick() : 0;
}

// The ticks passed by now, those let pass as idle included.
EMSCRIPTEN_KEEPALIVE double zev1_ticks_passed() {
    return the_program ? static_cast<double>(the_program->app.schedule().ticks_passed()) : 0.0;
}

// Whether idle ticks may be let pass (measurements and tests compare with every tick run).
EMSCRIPTEN_KEEPALIVE void zev1_let_idle_ticks_pass(int allowed) {
    if (the_program) {
        the_program->app.schedule().allow_idle(allowed != 0);
    }
}

// The wait for the first run.
EMSCRIPTEN_KEEPALIVE double zev1_first_wait() {
    return the_program ? zev1::web::milliseconds_of(the_program->app.schedule().wait()) : 10.0;
}

// The message box's OK: the next box that waits opens after the next tick at the latest.
EMSCRIPTEN_KEEPALIVE void zev1_box_closed() {
    if (the_program) {
        the_program->boxes.queue().closed();
        the_program->boxes.open_if_woken();
    }
}

// window: its web_window_id (the layout's "id"); row: the control's row in its table.
EMSCRIPTEN_KEEPALIVE void zev1_clicked(int window, int row) {
    using zev1::web::web_window_id;
    if (!the_program || row < 0) {
        return;
    }
    switch (static_cast<web_window_id>(window)) {
    case web_window_id::main:
        if (static_cast<std::size_t>(row) < zev1::main_control_count) {
            the_program->main_form.clicked(static_cast<zev1::main_control>(row));
        }
        break;
    case web_window_id::progress:
        if (row == static_cast<int>(zev1::row(zev1::progress_control::Cancel))) {
            the_program->progress_form.CancelClick();
        }
        break;
    case web_window_id::terminal:
        if (static_cast<std::size_t>(row) < zev1::terminal_control_count) {
            the_program->log_form.clicked(static_cast<zev1::terminal_control>(row));
        }
        break;
    case web_window_id::about:
        break;
    }
}

EMSCRIPTEN_KEEPALIVE void zev1_chosen(int window, int row, int index) {
    if (the_program && main_row(window, row)) {
        the_program->main_form.chosen(static_cast<zev1::main_control>(row), index);
    }
}

// The user changed a combo box's text: the form marks the entry it suggests.
EMSCRIPTEN_KEEPALIVE void zev1_edited(int window, int row) {
    if (the_program && main_row(window, row)) {
        the_program->main_form.edited(static_cast<zev1::main_control>(row));
    }
}

EMSCRIPTEN_KEEPALIVE void zev1_left(int window, int row) {
    if (the_program && main_row(window, row)) {
        the_program->main_form.left(static_cast<zev1::main_control>(row));
    }
}

// The port with this id was just picked in the browser's chooser: use it.
EMSCRIPTEN_KEEPALIVE void zev1_choose_port(int port_id) {
    if (the_program) {
        if (const auto name = the_program->port.name_of(port_id)) {
            the_program->app.select_port(*name);
        }
    }
}

// The terminal's panel has this client size (CSS pixels): its memos fill it.
EMSCRIPTEN_KEEPALIVE void zev1_terminal_resized(int width, int height) {
    if (the_program) {
        the_program->log_form.resized(width, height);
    }
}

// Writes the settings file now; the page then keeps its text in the browser's storage.
EMSCRIPTEN_KEEPALIVE int zev1_save_settings() {
    return the_program && the_program->app.UpdateFile() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* zev1_settings_path() {
    return zev1::web::settings_file;
}

// The notice that a newer build of the page is ready, in the window's language: its text
// (part 0) or its button's caption (part 1).
EMSCRIPTEN_KEEPALIVE const char* zev1_update_notice(int part) {
    static std::string said;
    const auto notice = zev1::update_ready_notice(!the_program || the_program->main_form.german());
    said = part == 0 ? notice.text : notice.take_now;
    return said.c_str();
}

// Whether the window's texts are German (else Czech), for the page's own messages.
EMSCRIPTEN_KEEPALIVE int zev1_german() {
    return the_program && the_program->main_form.german() ? 1 : 0;
}

} // extern "C"
