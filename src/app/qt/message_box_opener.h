#pragma once
// The program's message boxes in Qt (app/message_boxes.h decides when one opens): a
// QMessageBox shown without a nested event loop (show(), not exec()), so the main
// window's timer keeps the link going behind it. A notice is modal for the main window,
// the transfer's error box for the whole program. The boxes belong to the main window.
#include "app/message_boxes.h"

#include <QObject>
#include <QPointer>
#include <string_view>

class QMessageBox;
class QWidget;

namespace zev1::qt {

class message_box_opener final : public QObject, public box_opener {
    Q_OBJECT
public:
    message_box_opener();
    ~message_box_opener() override;

    message_boxes& queue() { return queue_; }
    // The window the boxes belong to; set before the first box opens.
    void set_owner(QWidget* owner) { owner_ = owner; }

    void open_box(box_kind kind, std::string_view text) override;
    void wake() override;

private:
    message_boxes queue_{*this};
    QPointer<QWidget> owner_;
    QPointer<QMessageBox> box_; // the open box; its owner deletes it with itself
};

} // namespace zev1::qt
