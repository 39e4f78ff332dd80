#include "app/qt/main_window.h"

#include "app/application.h"
#include "app/message_boxes.h"
#include "app/qt/qt_child.h"
#include "app/qt/qt_controls.h"
#include "app/qt/qt_text.h"
#include "app/qt/window_placement.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>

namespace zev1::qt {

namespace {

combo_box* combo_of(QWidget* widget) {
    return qobject_cast<combo_box*>(widget);
}

} // namespace

main_window::main_window(Tlpc1xxx& app, const text_codec& codec, message_boxes& boxes)
    : form_base(main_form_spec), form_(*this, app, codec), boxes_(boxes),
      schedule_(app.schedule()) {
    auto* show_terminal = make_child<QShortcut>(this, QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(show_terminal, &QShortcut::activated, this, &main_window::terminal_requested);
    auto* show_about = make_child<QShortcut>(this, QKeySequence(Qt::Key_F1));
    connect(show_about, &QShortcut::activated, this, &main_window::about_requested);

    Timer1 = make_child<QTimer>(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &main_window::run);

    connect_events();
    form_.FormCreate();
    centre_on_screen(*this);
    // The port's I/O thread (or a click) ends a wait that lets ticks pass: the wake is
    // posted to this window's thread.
    schedule_.set_wake(
        [this] { QMetaObject::invokeMethod(this, &main_window::woken, Qt::QueuedConnection); });
    start_timer(schedule_.wait());
}

main_window::~main_window() {
    schedule_.set_wake(nullptr);
}

void main_window::run() {
    // No run inside a run (tick_schedule::begin_run), should an event loop nest.
    const int ticks = schedule_.begin_run();
    if (ticks == 0) {
        return;
    }
    // A box asked for during the ticks opens after them (app/message_boxes.h).
    boxes_.enter_tick();
    form_.Timer1Timer(ticks);
    boxes_.leave_tick();
    if (!closing_) {
        start_timer(schedule_.end_run());
    }
}

void main_window::woken() {
    if (const auto wait = schedule_.woken(); wait && !closing_) {
        start_timer(*wait);
    }
}

void main_window::start_timer(std::chrono::steady_clock::duration wait) {
    Timer1->start(tick_schedule::to_ms(wait));
}

void main_window::connect_events() {
    for (std::size_t i = 0; i < main_controls.size(); ++i) {
        const auto id = static_cast<main_control>(i);
        QWidget* widget = control(i);
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            connect(button, &QAbstractButton::clicked, this, [this, id] { form_.clicked(id); });
        } else if (combo_box* combo = combo_of(widget)) {
            // activated comes only from the list (combo_box keeps typed text out of it).
            connect(combo, &QComboBox::activated, this,
                    [this, id](int index) { form_.chosen(id, index); });
            connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                    [this, id] { form_.edited(id); });
            connect(combo->lineEdit(), &QLineEdit::editingFinished, this,
                    [this, id] { form_.left(id); });
        }
    }
}

void main_window::clear_items(std::size_t row) {
    combo_box* combo = combo_of(control(row));
    const QSignalBlocker block(combo);
    combo->clear();
    combo->setEditText(QString());
    combo->set_suggestion(-1);
}

void main_window::append_item(std::size_t row, std::string_view text) {
    combo_box* combo = combo_of(control(row));
    const QSignalBlocker block(combo);
    const int current = combo->count() == 0 ? -1 : combo->currentIndex();
    const QString shown = combo->currentText();
    combo->addItem(qstr(text));
    // A combo box makes its first entry current by itself; the selection and the text
    // stay as they were.
    combo->setCurrentIndex(current);
    combo->setEditText(shown);
}

void main_window::set_item_index(std::size_t row, int index) {
    combo_box* combo = combo_of(control(row));
    const QSignalBlocker block(combo);
    if (index < 0 || index >= combo->count()) {
        const QString shown = combo->currentText();
        combo->setCurrentIndex(-1);
        combo->setEditText(shown);
        return;
    }
    combo->setCurrentIndex(index);
    combo->setEditText(combo->itemText(index)); // even when the entry was current already
}

void main_window::show_suggestion(std::size_t row, int index) {
    combo_of(control(row))->set_suggestion(index);
}

void main_window::show_notice(std::string_view text) {
    boxes_.show(box_kind::notice, std::string(text));
}

void main_window::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    closing_ = true; // a tick that closed the window from inside does not restart it
    emit closed();
    QWidget::closeEvent(event);
}

} // namespace zev1::qt
