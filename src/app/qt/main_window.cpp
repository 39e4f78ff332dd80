#include "app/qt/main_window.h"

#include "app/qt/qt_child.h"
#include "app/qt/qt_text.h"
#include "app/qt/window_placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace zev1::qt {

namespace {

QComboBox* combo_of(QWidget* widget) {
    return qobject_cast<QComboBox*>(widget);
}

} // namespace

main_window::main_window(Tlpc1xxx& app, const text_codec& codec)
    : form_base(main_form_spec), form_(*this, app, codec) {
    setToolTip(qstr(shortcut_hint));
    control(row(main_control::test))->setToolTip(qstr(counter_hint));

    auto* show_terminal = make_child<QShortcut>(this, QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(show_terminal, &QShortcut::activated, this, &main_window::terminal_requested);
    auto* show_about = make_child<QShortcut>(this, QKeySequence(Qt::Key_F1));
    connect(show_about, &QShortcut::activated, this, &main_window::about_requested);

    notice_ = make_child<QMessageBox>(this);
    notice_->setObjectName(QStringLiteral("notice_box"));
    notice_->setWindowTitle(qstr(application_title));
    notice_->setIcon(QMessageBox::Warning);
    notice_->setStandardButtons(QMessageBox::Ok);
    notice_->setWindowModality(Qt::WindowModal);

    Timer1 = make_child<QTimer>(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] {
        form_.Timer1Timer(ticks_per_run_);
        // Ticks with nothing to do pass without waking the program; the form counts them.
        ticks_per_run_ = 1 + form_.idle_ticks();
        if (!closing_) {
            schedule_run();
        }
    });

    connect_events();
    form_.FormCreate();
    centre_on_screen(*this);
    next_run_ = std::chrono::steady_clock::now();
    schedule_run();
}

void main_window::schedule_run() {
    // Absolute deadlines, as a repeating timer keeps them: the time a run takes and the
    // event loop's delay do not push the later ticks back. A run late by more than a tick
    // is not caught up twice; the schedule goes on from now.
    using clock = std::chrono::steady_clock;
    const auto tick = std::chrono::milliseconds(tick_ms);
    const auto now = clock::now();
    next_run_ += ticks_per_run_ * tick;
    if (next_run_ + tick < now) {
        next_run_ = now;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_run_ - now);
    Timer1->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)));
}

main_window::~main_window() = default;

void main_window::connect_events() {
    for (std::size_t i = 0; i < main_controls.size(); ++i) {
        const auto id = static_cast<main_control>(i);
        QWidget* widget = control(i);
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            connect(button, &QAbstractButton::clicked, this, [this, id] { form_.clicked(id); });
        } else if (QComboBox* combo = combo_of(widget)) {
            // Only a choice from the list picks an entry; typed text that matches no entry
            // chooses nothing.
            connect(combo, &QComboBox::activated, this,
                    [this, id](int index) { form_.chosen(id, index); });
            connect(combo->lineEdit(), &QLineEdit::editingFinished, this,
                    [this, id] { form_.left(id); });
        }
    }
}

void main_window::clear_items(std::size_t row) {
    QComboBox* combo = combo_of(control(row));
    const QSignalBlocker block(combo);
    combo->clear();
}

void main_window::append_item(std::size_t row, std::string_view text) {
    QComboBox* combo = combo_of(control(row));
    const QSignalBlocker block(combo);
    combo->addItem(qstr(text));
    if (row == zev1::row(main_control::com_number)) {
        // A combo box makes its first item current by itself; here only the port list
        // chooses, so the entry it chose last stays the chosen one (or none).
        combo->setCurrentIndex(chosen_port_ < combo->count() ? chosen_port_ : -1);
    }
}

void main_window::set_item_index(std::size_t row, int index) {
    QComboBox* combo = combo_of(control(row));
    const QSignalBlocker block(combo);
    if (row == zev1::row(main_control::com_number)) {
        chosen_port_ = index;
    }
    combo->setCurrentIndex(index);
    if (index >= 0) {
        combo->setEditText(combo->itemText(index)); // even when the entry was current already
    }
}

void main_window::show_notice(std::string_view text) {
    // Shown without a nested event loop: the poll loop goes on behind the box.
    notice_->setText(qstr(text));
    notice_->show();
    notice_->raise();
    notice_->activateWindow();
}

void main_window::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    closing_ = true; // a tick that closed the window from inside does not restart it
    emit closed();
    QWidget::closeEvent(event);
}

} // namespace zev1::qt
