#include "app/qt/message_box_opener.h"

#include "app/main_layout.h"
#include "app/qt/qt_child.h"
#include "app/qt/qt_text.h"
#include "app/qt/window_placement.h"

#include <QMessageBox>
#include <QMetaObject>

namespace zev1::qt {

message_box_opener::message_box_opener() = default;

message_box_opener::~message_box_opener() = default;

void message_box_opener::open_box(box_kind kind, std::string_view text) {
    const bool notice = kind == box_kind::notice;
    if (owner_.isNull()) {
        queue_.closed();
        return;
    }
    box_ = make_child<QMessageBox>(owner_.data());
    box_->setObjectName(notice ? QStringLiteral("notice_box") : QStringLiteral("error_box"));
    box_->setWindowTitle(qstr(application_title));
    box_->setIcon(notice ? QMessageBox::Warning : QMessageBox::Critical);
    box_->setText(qstr(text));
    box_->setStandardButtons(QMessageBox::Ok);
    box_->setWindowModality(notice ? Qt::WindowModal : Qt::ApplicationModal);
    connect(box_.data(), &QMessageBox::finished, this, [this] {
        // The box goes once its own signal has returned.
        if (!box_.isNull()) {
            box_->hide();
            box_->deleteLater();
            box_.clear();
        }
        queue_.closed();
    });
    box_->show();
    if (!notice) {
        centre_on_screen(*box_);
    }
    box_->raise();
    box_->activateWindow();
}

void message_box_opener::wake() {
    QMetaObject::invokeMethod(
        this, [this] { queue_.open_waiting(); }, Qt::QueuedConnection);
}

} // namespace zev1::qt
