#pragma once
// The main window in Qt: the controls of main_layout.h and the 10 ms timer; what they do
// is the form's (app/main_form.h), and its notices open through the program's message
// boxes. Ctrl+T asks for the terminal window and F1 for the about box (named in the
// tooltip).
#include "app/main_form.h"
#include "app/qt/form_base.h"
#include "app/tick_schedule.h"

#include <chrono>

class QTimer;

namespace zev1 {
class Tlpc1xxx;
class message_boxes;
} // namespace zev1

namespace zev1::qt {

class main_window final : public form_base, public main_view {
    Q_OBJECT
public:
    main_window(Tlpc1xxx& app, const text_codec& codec, message_boxes& boxes);
    ~main_window() override;

    TSDIAppForm& form() { return form_; }

    // main_view
    void clear_items(std::size_t row) override;
    void append_item(std::size_t row, std::string_view text) override;
    void set_item_index(std::size_t row, int index) override;
    void show_suggestion(std::size_t row, int index) override;
    void show_notice(std::string_view text) override;

signals:
    void terminal_requested();
    void about_requested();
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connect_events();
    // One run of the timer: the ticks it stands for, then the next run's start.
    void run();
    // A wake from the port or a click: the next run may come sooner.
    void woken();
    void start_timer(std::chrono::steady_clock::duration wait);

    TSDIAppForm form_;
    message_boxes& boxes_;
    tick_schedule& schedule_;
    QTimer* Timer1 = nullptr;
    bool closing_ = false;
};

} // namespace zev1::qt
