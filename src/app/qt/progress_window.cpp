#include "app/qt/progress_window.h"

#include "app/message_boxes.h"
#include "app/qt/qt_text.h"
#include "app/qt/window_placement.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>

namespace zev1::qt {

progress_window::progress_window(const text_codec& codec, message_boxes& boxes)
    : form_base(progress_form_spec), form_(*this, codec), boxes_(boxes) {
    connect(qobject_cast<QPushButton*>(control(row(progress_control::Cancel))),
            &QPushButton::clicked, this, [this] { form_.CancelClick(); });
    centre_on_screen(*this);
}

progress_window::~progress_window() = default;

void progress_window::set_visible(bool visible) {
    if (!visible) {
        hide();
        return;
    }
    // Shown without activation (frame_window); where the platform activates a window it
    // shows all the same, the window that had the keys asks for them back.
    QWidget* had_keys = QApplication::activeWindow();
    centre_on_screen(*this);
    show();
    raise();
    if (had_keys != nullptr && had_keys != this) {
        had_keys->activateWindow();
    }
}

void progress_window::process_pending_events() {
    QCoreApplication::processEvents();
}

void progress_window::set_bar(int position) {
    qobject_cast<QProgressBar*>(control(row(progress_control::Bar)))->setValue(position);
}

int progress_window::bar() const {
    return qobject_cast<const QProgressBar*>(control(row(progress_control::Bar)))->value();
}

void progress_window::show_error(std::string_view text) {
    boxes_.show(box_kind::error, std::string(text));
}

} // namespace zev1::qt
