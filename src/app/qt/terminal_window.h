#pragma once
// The terminal window in Qt: the controls of terminal_layout.h in a resizable window,
// created hidden; the main window shows it on Ctrl+T. What they do is the form's
// (app/terminal_form.h).
//
// The form sets the window's outer size (frame included). Until the window is first
// shown the frame is not known, so the outer size asked for is kept and applied again
// once the frame is known.
#include "app/terminal_form.h"

#include <QWidget>
#include <optional>
#include <string_view>
#include <vector>

namespace zev1::qt {

class terminal_window final : public QWidget, public terminal_window_view {
    Q_OBJECT
public:
    terminal_window(Tini_file& settings, const text_codec& codec, clock_source clock);
    ~terminal_window() override;

    Tlog_win& form() { return form_; }

    // terminal_window_view
    void set_text(terminal_control c, std::string_view text) override;
    void set_caption(std::string_view text) override;
    void set_checked(terminal_control c, bool checked) override;
    bool checked(terminal_control c) const override;
    void append_line(terminal_control memo, std::string_view line) override;
    screen_rect outer_geometry() const override;
    void set_outer_geometry(const screen_rect& r) override;
    bool maximised() const override;
    void set_maximised(bool maximised) override;
    void place(terminal_control c, const design_box& box) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QSize frame_extra() const;

    Tlog_win form_;
    std::vector<QWidget*> controls_;
    std::optional<QSize> wanted_outer_; // the outer size asked for before the frame was known
};

} // namespace zev1::qt
