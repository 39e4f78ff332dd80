#pragma once
// The main window in Qt: the controls of main_layout.h, the 10 ms timer and the notice
// box; what they do is the form's (app/main_form.h). Ctrl+T asks for the terminal window
// and F1 for the about box (named in the tooltip).
#include "app/main_form.h"
#include "app/qt/form_base.h"

#include <chrono>

class QMessageBox;
class QTimer;

namespace zev1 {
class Tlpc1xxx;
}

namespace zev1::qt {

class main_window final : public form_base, public main_view {
    Q_OBJECT
public:
    main_window(Tlpc1xxx& app, const text_codec& codec);
    ~main_window() override;

    TSDIAppForm& form() { return form_; }

    // main_view
    ZEV1_MAIN_VIEW_OVERRIDES

signals:
    void terminal_requested();
    void about_requested();
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connect_events();
    // Starts the timer for the run ticks_per_run_ ticks after the last one.
    void schedule_run();

    TSDIAppForm form_;
    QTimer* Timer1 = nullptr;
    int ticks_per_run_ = 1; // the ticks the timer's next run stands for
    std::chrono::steady_clock::time_point next_run_;
    bool closing_ = false;
    QMessageBox* notice_ = nullptr;
    int chosen_port_ = -1; // the port list's last choice in com_number
};

} // namespace zev1::qt
