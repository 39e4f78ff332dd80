#pragma once
// The progress window in Qt: the controls of progress_layout.h in a small always-on-top
// tool window without a close box, not modal, and the transfer's error box. What they do
// is the form's (app/progress_form.h).
//
// The error box opens without a nested event loop (show(), not exec()) and stays up,
// application-modal, until OK is pressed, so the main window's timer keeps the link going.
#include "app/progress_form.h"
#include "app/qt/form_base.h"

#include <memory>
#include <string_view>

class QMessageBox;

namespace zev1::qt {

class progress_window final : public form_base, public progress_window_view {
    Q_OBJECT
public:
    explicit progress_window(const text_codec& codec);
    ~progress_window() override;

    Tprogress_win& form() { return form_; }

    // progress_window_view
    ZEV1_PROGRESS_WINDOW_VIEW_OVERRIDES

    // The error box (hidden until show_error), for tests and the screenshot tour.
    QMessageBox* error_box() const { return error_box_.get(); }

private:
    Tprogress_win form_;
    std::unique_ptr<QMessageBox> error_box_;
};

} // namespace zev1::qt
