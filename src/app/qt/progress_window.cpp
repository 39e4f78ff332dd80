#include "app/qt/progress_window.h"

#include "app/main_layout.h"
#include "app/qt/qt_text.h"
#include "app/qt/window_placement.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

namespace zev1::qt {

progress_window::progress_window(const text_codec& codec)
    : form_base(progress_form_spec), form_(*this, codec) {
    connect(qobject_cast<QPushButton*>(control(row(progress_control::Cancel))),
            &QPushButton::clicked, this, [this] { form_.CancelClick(); });

    error_box_ = std::make_unique<QMessageBox>();
    error_box_->setObjectName(QStringLiteral("error_box"));
    error_box_->setWindowTitle(qstr(application_title));
    error_box_->setIcon(QMessageBox::Critical);
    error_box_->setStandardButtons(QMessageBox::Ok);
    error_box_->setWindowModality(Qt::ApplicationModal);

    centre_on_screen(*this);
}

progress_window::~progress_window() = default;

void progress_window::set_visible(bool visible) {
    if (visible) {
        centre_on_screen(*this);
        show();
        raise();
    } else {
        hide();
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
    error_box_->setText(qstr(text));
    // One box: a second error while it is still open only updates its text.
    if (!error_box_->isVisible()) {
        error_box_->show();
        centre_on_screen(*error_box_);
    }
    error_box_->raise();
    error_box_->activateWindow();
}

} // namespace zev1::qt
