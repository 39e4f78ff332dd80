#pragma once
// The progress window of a memory transfer: a small always-on-top tool window without a
// close box, with the transfer's description, a bar, the percentage and Cancel. It is
// not modal; the main window stays usable while it is shown.
//
// The transfer error box is opened without a nested event loop: show_error() returns
// at once and the box stays up, application-modal, until the user presses OK. The poll
// loop (the main window's timer) therefore keeps running the link while the box is
// open: keep-alives go on and the watchdog keeps watching. A blocking exec() here would
// be called from inside the link's poll step, and the poll step refuses to nest, so the
// link would stand still for as long as the box was open.
#include "memory/progress_view.h"

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string_view>

class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace zev1 {

class Tprogress_win final : public QWidget, public progress_view {
    Q_OBJECT
public:
    static constexpr int client_width = 464;
    static constexpr int client_height = 124;

    Tprogress_win();
    ~Tprogress_win() override;

    void show_progress(std::string_view text, std::uint32_t total, bool visible) override;
    void set_remaining(std::uint32_t remaining) override;
    bool take_cancel() override;
    void show_error(std::string_view text) override;

    // The error box (hidden until show_error), for tests and the screenshot tour.
    QMessageBox* error_box() const { return error_box_.get(); }

signals:
    // Emitted each time show_error opens the box.
    void error_shown();

private:
    void CancelClick();

    QLabel* text_ = nullptr;
    QProgressBar* Bar = nullptr;
    QLabel* Procenta = nullptr;
    QLabel* staticky_text_procent = nullptr;
    QPushButton* Cancel = nullptr;

    bool cancel_requested_ = false;
    std::uint32_t total_ = 0;
    std::unique_ptr<QMessageBox> error_box_;
};

} // namespace zev1
