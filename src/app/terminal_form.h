#pragma once
// What the terminal window does, free of any toolkit: the packet view (one line per frame,
// shaped by the five view options), the text view (timestamped controller texts and link
// remarks), the window's place, size and options from section "log_win" of the settings
// file, the memo layout, and the dated log file in the current directory. It is the
// link's traffic_log; a toolkit window implements terminal_window_view, calls FormCreate
// once its controls exist and forwards resizes and the log button's click.
//
// Beyond the plain behaviour:
//  - "Width" and "Height" are the window's outer size, frame included;
//  - the memos are laid out for the client size the window has after a resize, so they
//    always fill it;
//  - every line written to the log file is flushed at once, so the file is complete even
//    when the program is killed; lines end as text files end on the system (CR LF on
//    Windows);
//  - a log file that cannot be opened is reported in the text view.
#include "app/form_view.h"
#include "app/terminal_layout.h"
#include "app/text_codec.h"
#include "log/packet_line.h"
#include "log/traffic_log.h"
#include "settings/ini_file.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string_view>

namespace zev1 {

// A window's outer rectangle on the screen, frame included, in screen pixels.
struct screen_rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const screen_rect&, const screen_rect&) = default;
};

class terminal_window_view : public virtual form_controls {
public:
    // Adds one line at the end of a memo. A reader's view that shows the memo's last line
    // follows the new one; a view scrolled back stays on the lines it shows, and a
    // selection stays on the text it selects.
    virtual void append_line(std::size_t memo, std::string_view line) = 0;
    // Removes the memo's first count lines (never more than it holds); a view scrolled
    // back and a selection stay on the text they showed, as far as it is still there.
    virtual void drop_first_lines(std::size_t memo, int count) = 0;
    virtual screen_rect outer_geometry() const = 0;
    virtual void set_outer_geometry(const screen_rect& r) = 0;
    virtual bool maximised() const = 0;
    virtual void set_maximised(bool maximised) = 0;

protected:
    ~terminal_window_view() = default;
};

class Tlog_win final : public traffic_log {
public:
    static constexpr int memo_top = 32;
    // Each memo keeps its last max_view_lines lines, so a run of days does not grow
    // without bound; once it holds more, the oldest tenth goes at once (dropping lines
    // one at a time would move a long text on every line).
    static constexpr int max_view_lines = 100000;

    // The clock gives the time of text lines and the log file's name.
    Tlog_win(terminal_window_view& view, Tini_file& settings, const text_codec& codec,
             clock_source clock);
    ~Tlog_win();
    Tlog_win(const Tlog_win&) = delete;
    Tlog_win& operator=(const Tlog_win&) = delete;

    // --- events from the toolkit ---------------------------------------------------------
    // The controls exist: place, size and options from the settings, the captions.
    void FormCreate();
    // The client area is now this size (design pixels): lay the memos out for it.
    void resized(int client_width, int client_height);
    // A button was clicked (the log button; the check boxes need nothing at once).
    void clicked(terminal_control c);

    // traffic_log
    void add_packet_line(std::span<const std::uint8_t> frame, bool received, std::string_view name,
                         std::string_view text) override;
    void log_text(std::string_view text) override;

    // The five check boxes as the packet-line composer takes them.
    view_options options() const;
    // The open log file's path (empty when no log has been started or it did not open).
    const std::filesystem::path& log_path() const { return log_path_; }

    // Geometry of the two memos for a client area of the given height.
    struct memo_geometry {
        int log_height;
        int txt_top;
        int txt_height;
    };
    static memo_geometry layout_for(int client_height);

private:
    void NewLogClick();
    void open_new_log();
    void append(terminal_control memo, std::string_view line);

    terminal_window_view& view_;
    Tini_file& settings_;
    const text_codec& codec_;
    clock_source clock_;
    std::ofstream log_file_;
    std::filesystem::path log_path_;
    int log_lines_ = 0; // lines in the packet view
    int txt_lines_ = 0; // lines in the text view
};

} // namespace zev1
