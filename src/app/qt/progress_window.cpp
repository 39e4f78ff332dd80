#include "app/qt/progress_window.h"

#include "app/main_layout.h"
#include "app/qt/qt_controls.h"
#include "app/qt/qt_text.h"
#include "app/qt/window_placement.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

namespace zev1::qt {

progress_window::progress_window(const text_codec& codec) : form_(*this, codec) {
    frame_window(*this, progress_form_spec);
    controls_ = create_controls(*this, progress_form_spec);
    connect(qobject_cast<QPushButton*>(controls_[row(progress_control::Cancel)]),
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

void progress_window::set_text(progress_control c, std::string_view text) {
    set_widget_text(controls_[row(c)], qstr(text));
}

void progress_window::set_caption(std::string_view text) {
    setWindowTitle(qstr(text));
}

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
    qobject_cast<QProgressBar*>(controls_[row(progress_control::Bar)])->setValue(position);
}

int progress_window::bar() const {
    return qobject_cast<const QProgressBar*>(controls_[row(progress_control::Bar)])->value();
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
