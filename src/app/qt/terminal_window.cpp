#include "app/qt/terminal_window.h"

#include "app/qt/qt_text.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <utility>

namespace zev1::qt {

terminal_window::terminal_window(Tini_file& settings, const text_codec& codec, clock_source clock)
    : form_base(terminal_form_spec), form_(*this, settings, codec, std::move(clock)) {
    for (std::size_t i = 0; i < terminal_controls.size(); ++i) {
        const auto id = static_cast<terminal_control>(i);
        if (auto* button = qobject_cast<QPushButton*>(control(i))) {
            connect(button, &QPushButton::clicked, this, [this, id] { form_.clicked(id); });
        }
    }
    // Design place: top left of the screen.
    move(0, 0);
    form_.resized(width(), height());
    form_.FormCreate();
    form_.resized(width(), height());
}

terminal_window::~terminal_window() = default;

void terminal_window::append_line(std::size_t memo, std::string_view line) {
    if (auto* view = qobject_cast<QPlainTextEdit*>(control(memo))) {
        view->appendPlainText(qstr(line));
    }
}

void terminal_window::drop_first_lines(std::size_t memo, int count) {
    auto* view = qobject_cast<QPlainTextEdit*>(control(memo));
    if (view == nullptr || count <= 0) {
        return;
    }
    // The view counts its scroll bar in lines: one scrolled back keeps its lines in view.
    QScrollBar* bar = view->verticalScrollBar();
    const bool follow = bar->value() == bar->maximum();
    const int first = bar->value();
    QTextCursor cut(view->document());
    cut.movePosition(QTextCursor::Start);
    cut.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, count);
    if (cut.atEnd() || cut.blockNumber() < count) {
        cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cut.removeSelectedText();
    bar->setValue(follow ? bar->maximum() : std::max(0, first - count));
}

QSize terminal_window::frame_extra() const {
    return frameGeometry().size() - size();
}

screen_rect terminal_window::outer_geometry() const {
    const QRect outer = frameGeometry();
    return {outer.left(), outer.top(), outer.width(), outer.height()};
}

void terminal_window::set_outer_geometry(const screen_rect& r) {
    move(r.left, r.top); // moves the frame
    const QSize extra = frame_extra();
    resize(std::max(1, r.width - extra.width()), std::max(1, r.height - extra.height()));
    if (!isVisible()) {
        wanted_outer_ = QSize(r.width, r.height);
    }
}

bool terminal_window::maximised() const {
    return isMaximized();
}

void terminal_window::set_maximised(bool maximised) {
    setWindowState(maximised ? (windowState() | Qt::WindowMaximized)
                             : (windowState() & ~Qt::WindowMaximized));
}

void terminal_window::resizeEvent(QResizeEvent* event) {
    form_.resized(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

void terminal_window::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (wanted_outer_ && !isMaximized()) {
        // The frame is known now: the outer size asked for includes it.
        const QSize extra = frame_extra();
        resize(std::max(1, wanted_outer_->width() - extra.width()),
               std::max(1, wanted_outer_->height() - extra.height()));
    }
    wanted_outer_.reset();
}

} // namespace zev1::qt
