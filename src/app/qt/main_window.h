#pragma once
// The main window in Qt: the controls of main_layout.h, the 10 ms timer and the notice
// box; what they do is the form's (app/main_form.h). Ctrl+T asks for the terminal window
// and F1 for the about box (named in the tooltip).
#include "app/main_form.h"
#include "app/main_view.h"

#include <QWidget>
#include <string>
#include <string_view>
#include <vector>

class QMessageBox;
class QTimer;

namespace zev1 {
class Tlpc1xxx;
}

namespace zev1::qt {

class main_window final : public QWidget, public main_view {
    Q_OBJECT
public:
    main_window(Tlpc1xxx& app, const text_codec& codec);
    ~main_window() override;

    TSDIAppForm& form() { return form_; }
    QWidget* control(main_control c) const { return controls_[row(c)]; }

    // main_view
    void set_text(main_control c, std::string_view text) override;
    std::string text(main_control c) const override;
    void set_checked(main_control c, bool checked) override;
    bool checked(main_control c) const override;
    void clear_items(main_control c) override;
    void append_item(main_control c, std::string_view text) override;
    void set_item_index(main_control c, int index) override;
    void show_notice(std::string_view text) override;

signals:
    void terminal_requested();
    void about_requested();
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connect_events();

    TSDIAppForm form_;
    std::vector<QWidget*> controls_;
    QTimer* Timer1 = nullptr;
    QMessageBox* notice_ = nullptr;
    int chosen_port_ = -1; // the port list's last choice in com_number
};

} // namespace zev1::qt
