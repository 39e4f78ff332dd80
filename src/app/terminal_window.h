#pragma once
// The terminal window: the packet view (one line per frame), the text view (timestamped
// controller texts and link remarks), the five view options and the button that starts
// a dated log file in the current directory. Created hidden; the main window shows it
// on Ctrl+T.
//
// Beyond the plain behaviour:
//  - the memos are laid out for the client size the window has after a resize, so they
//    always fill it;
//  - every line written to the log file is flushed at once, so the file is complete even
//    when the program is killed;
//  - a log file that cannot be opened is reported in the text view;
//  - each view keeps its last max_view_lines lines, so a run of days does not grow
//    without bound.
#include "log/packet_line.h"
#include "log/traffic_log.h"
#include "settings/ini_file.h"

#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string_view>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace zev1 {

class Tlog_win final : public QWidget, public traffic_log {
    Q_OBJECT
public:
    static constexpr int design_client_width = 702;
    static constexpr int design_client_height = 659;
    static constexpr int memo_top = 32;
    static constexpr int max_view_lines = 100000;

    // Reads its geometry and view options from section "log_win" of settings. The clock
    // gives the time of text lines and the log file's name.
    Tlog_win(Tini_file& settings, clock_source clock);
    ~Tlog_win() override;

    void add_packet_line(std::span<const std::uint8_t> frame, bool received, std::string_view name,
                         std::string_view text) override;
    void log_text(std::string_view text) override;

    // The five check boxes as the packet-line composer takes them.
    view_options options() const;
    // The open log file's path (empty when no log has been started or it did not open).
    const std::filesystem::path& log_path() const { return log_path_; }

    // Geometry of the two memos for a client area of the given size.
    struct memo_geometry {
        int log_height;
        int txt_top;
        int txt_height;
    };
    static memo_geometry layout_for(int client_height);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate(Tini_file& settings);
    void layout(int client_width, int client_height);
    void NewLogClick();
    void open_new_log();

    clock_source clock_;

    QPlainTextEdit* log = nullptr;
    QPlainTextEdit* txt = nullptr;
    QCheckBox* psat_txt = nullptr;
    QCheckBox* psat_hex = nullptr;
    QCheckBox* psat_hlavicky = nullptr;
    QCheckBox* jen_prijem = nullptr;
    QCheckBox* StandardOFF = nullptr;
    QPushButton* NewLog = nullptr;

    std::ofstream log_file_;
    std::filesystem::path log_path_;
};

} // namespace zev1
