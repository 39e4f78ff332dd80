// The scenario driver for the Qt windows, offscreen: the program built as main.cpp builds
// it, with a port list of the scenario's own links, worked through QTest's mouse and key
// events on the GUI thread.
#include "app/application.h"
#include "app/qt/app_windows.h"
#include "app/qt/qt_controls.h"
#include "serial/platform/posix/port_names.h"
#include "serial/serial.h"
#include "windows/driver.h"
#include "windows/test_area.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <stdexcept>

namespace zev1::scenario {
namespace {

using qt::qstr;
using qt::utf8;

// Only the scenario's ports are listed and probed, so scenarios running side by side
// never touch each other's simulators.
class scenario_ports final : public port_namespace {
public:
    explicit scenario_ports(std::vector<std::string> ports) : ports_(std::move(ports)) {}
    std::vector<std::string> candidates() override { return ports_; }
    probe_result probe(std::string_view name) override {
        return posix::probe_path(std::string(name));
    }

private:
    std::vector<std::string> ports_;
};

class qt_program final : public program_driver {
public:
    explicit qt_program(const program_setup& setup)
        : names_(setup.ports), port_(names_), app_(setup.settings, port_),
          windows_(std::make_unique<qt::app_windows>(app_, [] { return pinned_time(); })) {
        windows_->show();
        (void)QTest::qWaitForWindowExposed(&windows_->main);
    }
    ~qt_program() override {
        windows_->main.close();
        windows_.reset(); // then the application object writes the settings file
    }

    std::string text(std::string_view name) override {
        QWidget* w = find(name);
        return utf8(w->isWindow() ? w->windowTitle() : qt::widget_text(w));
    }

    void click(std::string_view name) override { QTest::mouseClick(find(name), Qt::LeftButton); }

    void click_at(std::string_view name) override {
        // Through the window system's path: an open popup sees the click first.
        QWidget* target = find(name);
        QWidget* top = target->window();
        const QPoint at = target->mapTo(top, target->rect().center());
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
        QCoreApplication::processEvents();
    }

    void type(std::string_view name, std::string_view text) override {
        QWidget* target = find(name);
        if (auto* combo = qobject_cast<QComboBox*>(target)) {
            target = combo->lineEdit();
        }
        auto* edit = qobject_cast<QLineEdit*>(target);
        activate(target);
        edit->selectAll();
        key(Qt::Key_Backspace);
        for (const QChar ch : qstr(text)) {
            if (ch.unicode() < 0x80) {
                // Through the window system's path, to whatever has the keys.
                QTest::keyClick(keys_window(), ch.toLatin1());
            } else {
                // A letter without a key of its own, as an input method delivers it.
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
                QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
                QApplication::sendEvent(QApplication::focusWidget(), &press);
                QApplication::sendEvent(QApplication::focusWidget(), &release);
            }
        }
        QCoreApplication::processEvents();
    }

    void press(std::string_view name) override {
        if (name == "Enter") {
            key(Qt::Key_Return);
        } else if (name == "Tab") {
            key(Qt::Key_Tab);
        } else if (name == "Space") {
            key(Qt::Key_Space);
        } else {
            throw std::invalid_argument("unknown key");
        }
        QCoreApplication::processEvents();
    }

    void leave(std::string_view name) override {
        QWidget* target = find(name);
        activate(target);
        if (auto* combo = qobject_cast<QComboBox*>(target)) {
            combo->lineEdit()->setFocus();
        }
        key(Qt::Key_Tab);
        QCoreApplication::processEvents();
    }

    void choose(std::string_view name, int index) override {
        auto* combo = qobject_cast<QComboBox*>(find(name));
        activate(combo);
        for (int i = -1; i < index; ++i) {
            QTest::keyClick(combo, Qt::Key_Down);
        }
    }

    void shortcut(std::string_view keys) override {
        activate(&windows_->main);
        if (keys == "Ctrl+T") {
            QTest::keyClick(&windows_->main, Qt::Key_T, Qt::ControlModifier);
        } else if (keys == "F1") {
            QTest::keyClick(&windows_->main, Qt::Key_F1);
        } else {
            throw std::invalid_argument("unknown shortcut");
        }
    }

    int suggested(std::string_view name) override {
        return qobject_cast<qt::combo_box*>(find(name))->suggestion();
    }

    std::string active_window() override {
        QWidget* active = QApplication::activeWindow();
        return active != nullptr ? utf8(active->objectName()) : std::string();
    }

    int font_pixels(std::string_view name) override { return find(name)->font().pixelSize(); }

    // The accessible name, and where a label names the widget (its buddy), that label's
    // caption as the accessibility interface reports the relation: both must agree.
    std::string accessible_name(std::string_view name) override {
        QWidget* widget = find(name);
        const QString own = widget->accessibleName();
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
        for (const auto& [label, relation] : a->relations(QAccessible::Labelled)) {
            const QString by = label->text(QAccessible::Name).trimmed();
            if (by != own) {
                return utf8("labelled \"" + by + "\" but named \"" + own + "\"");
            }
        }
        return utf8(own);
    }

    std::string hint(std::string_view name) override { return utf8(find(name)->toolTip()); }
    bool checked(std::string_view name) override {
        return qobject_cast<QAbstractButton*>(find(name))->isChecked();
    }
    bool visible(std::string_view name) override { return find(name)->isVisible(); }

    int value(std::string_view name) override {
        QWidget* w = find(name);
        if (auto* bar = qobject_cast<QProgressBar*>(w)) {
            return bar->value();
        }
        return qobject_cast<QComboBox*>(w)->currentIndex();
    }

    std::vector<std::string> items(std::string_view name) override {
        auto* combo = qobject_cast<QComboBox*>(find(name));
        std::vector<std::string> out;
        for (int i = 0; i < combo->count(); ++i) {
            out.push_back(utf8(combo->itemText(i)));
        }
        return out;
    }

    int first_visible_line(std::string_view name) override {
        return qobject_cast<QPlainTextEdit*>(find(name))->verticalScrollBar()->value();
    }
    void scroll_to_line(std::string_view name, int line) override {
        qobject_cast<QPlainTextEdit*>(find(name))->verticalScrollBar()->setValue(line);
    }

    design_box geometry(std::string_view name) override {
        const QRect r = find(name)->geometry();
        return {r.x(), r.y(), r.width(), r.height()};
    }

    bool text_fits(std::string_view name) override {
        QWidget* w = find(name);
        const int margin = qobject_cast<QPushButton*>(w) != nullptr ? caption_margin : 0;
        return w->fontMetrics().horizontalAdvance(qt::widget_text(w)) <= w->width() - margin;
    }

    std::vector<std::string> tab_order(std::string_view window) override {
        QWidget* top = find(window);
        (void)QTest::qWaitForWindowActive(top);
        std::vector<std::string> order;
        for (int presses = 0; presses < 64; ++presses) {
            // A combo box's inner text field stands for the combo box.
            QWidget* focus = QApplication::focusWidget();
            if (focus != nullptr && qobject_cast<QComboBox*>(focus->parentWidget()) != nullptr) {
                focus = focus->parentWidget();
            }
            if (focus == nullptr || focus->parentWidget() != top) {
                break; // out of the window
            }
            const std::string at = utf8(focus->objectName());
            if (!order.empty() && (at == order.front() || at == order.back())) {
                break; // back at the start, or stuck
            }
            order.push_back(at);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        return order;
    }

    window_traits traits(std::string_view window) override {
        QWidget* w = find(window);
        const Qt::WindowFlags f = w->windowFlags();
        window_traits t;
        t.tool = (f & Qt::WindowType_Mask) == Qt::Tool;
        t.topmost = f.testFlag(Qt::WindowStaysOnTopHint);
        t.close_box = !f.testFlag(Qt::CustomizeWindowHint) || f.testFlag(Qt::WindowCloseButtonHint);
        t.resizable = w->minimumSize() != w->maximumSize();
        return t;
    }

    screen_rect outer_geometry(std::string_view window) override {
        const QRect r = find(window)->frameGeometry();
        return {r.x(), r.y(), r.width(), r.height()};
    }
    design_box client_area(std::string_view window) override {
        const QWidget* w = find(window);
        return {0, 0, w->width(), w->height()};
    }
    bool maximised(std::string_view window) override { return find(window)->isMaximized(); }
    void minimise(std::string_view window) override { find(window)->showMinimized(); }
    bool minimised(std::string_view window) override { return find(window)->isMinimized(); }
    void resize_client(std::string_view window, int width, int height) override {
        find(window)->resize(width, height);
    }

    std::vector<std::string> boxes() override {
        std::vector<std::string> texts;
        for (QMessageBox* box : open_boxes()) {
            texts.push_back(utf8(box->text()));
        }
        return texts;
    }
    void close_box() override {
        const auto open = open_boxes();
        if (!open.empty()) {
            QTest::mouseClick(open.front()->button(QMessageBox::Ok), Qt::LeftButton);
        }
    }

    long long ticks() override { return app_.schedule().ticks_passed(); }
    void let_idle_ticks_pass(bool allowed) override { app_.schedule().allow_idle(allowed); }

    bool wait_for(const std::function<bool()>& done, int timeout_ms) override {
        return zev1::qt::run_events_until(done, timeout_ms);
    }

private:
    QWidget* find(std::string_view name) {
        const QString wanted = qstr(name);
        for (QWidget* top :
             {static_cast<QWidget*>(&windows_->main), static_cast<QWidget*>(&windows_->log_win),
              static_cast<QWidget*>(&windows_->progress_win),
              static_cast<QWidget*>(&windows_->about)}) {
            if (top->objectName() == wanted) {
                return top;
            }
            if (auto* child = top->findChild<QWidget*>(wanted)) {
                return child;
            }
        }
        throw std::invalid_argument("no control named " + std::string(name));
    }

    // The window that gets a key the keyboard sends: an open popup, else the active one.
    static QWindow* keys_window() {
        QWidget* to = QApplication::activePopupWidget();
        if (to == nullptr) {
            to = QApplication::activeWindow();
        }
        return to != nullptr ? to->windowHandle() : nullptr;
    }

    static void key(Qt::Key k) { QTest::keyClick(keys_window(), k); }

    static void activate(QWidget* w) {
        w->window()->activateWindow();
        (void)QTest::qWaitForWindowActive(w->window());
        w->setFocus();
    }

    static std::vector<QMessageBox*> open_boxes() {
        std::vector<QMessageBox*> open;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                open.push_back(box);
            }
        }
        return open;
    }

    scenario_ports names_;
    serial port_;
    Tlpc1xxx app_;
    std::unique_ptr<qt::app_windows> windows_;
};

} // namespace

std::unique_ptr<program_driver> start_program(const program_setup& setup) {
    return std::make_unique<qt_program>(setup);
}

} // namespace zev1::scenario
