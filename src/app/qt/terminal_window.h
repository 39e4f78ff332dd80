#pragma once
// The terminal window in Qt: the controls of terminal_layout.h in a resizable window,
// created hidden; the main window shows it on Ctrl+T. What they do is the form's
// (app/terminal_form.h).
//
// The form sets the window's outer size (frame included). Until the window is first
// shown the frame is not known, so the outer size asked for is kept and applied again
// once the frame is known.
#include "app/qt/form_base.h"
#include "app/terminal_form.h"

#include <optional>
#include <string_view>

namespace zev1::qt {

class terminal_window final : public form_base, public terminal_window_view {
    Q_OBJECT
public:
    terminal_window(Tini_file& settings, const text_codec& codec, clock_source clock);
    ~terminal_window() override;

    Tlog_win& form() { return form_; }

    // terminal_window_view
    void append_line(std::size_t memo, std::string_view line) override;
    void drop_first_lines(std::size_t memo, int count) override;
    screen_rect outer_geometry() const override;
    void set_outer_geometry(const screen_rect& r) override;
    bool maximised() const override;
    void set_maximised(bool maximised) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QSize frame_extra() const;

    Tlog_win form_;
    std::optional<QSize> wanted_outer_; // the outer size asked for before the frame was known
};

} // namespace zev1::qt
