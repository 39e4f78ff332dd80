#include "app/qt/qt_controls.h"

#include "app/qt/qt_child.h"
#include "app/qt/qt_text.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace zev1::qt {

namespace {

Qt::Alignment alignment_of(text_align align) {
    switch (align) {
    case text_align::centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case text_align::right:
        return Qt::AlignRight | Qt::AlignTop;
    case text_align::left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QFont font_from(const font_spec& spec, const QFont& base) {
    QFont font = spec.face.empty() ? base : QFont(qstr(spec.face));
    if (spec.pixels > 0) {
        font.setPixelSize(spec.pixels);
    }
    font.setBold(spec.bold);
    if (spec.fixed_pitch) {
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        if (!QFontInfo(font).fixedPitch()) {
            const int pixels = font.pixelSize();
            font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            font.setPixelSize(pixels);
        }
    }
    return font;
}

QComboBox* make_combo(QWidget& window, const control_spec& spec) {
    auto* combo = make_child<combo_box>(&window);
    for (const std::string_view item : spec.items) {
        combo->addItem(qstr(item));
    }
    if (spec.items.empty()) {
        combo->setEditText(qstr(spec.initial));
    } else {
        combo->setCurrentText(qstr(spec.initial));
    }
    return combo;
}

QPlainTextEdit* make_memo(QWidget& window) {
    auto* memo = make_child<QPlainTextEdit>(&window);
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap); // both scroll bars
    return memo;
}

QWidget* make_widget(QWidget& window, const control_spec& spec) {
    const QString initial = qstr(spec.initial);
    switch (spec.kind) {
    case control_kind::label:
    case control_kind::wrapped_label: {
        auto* label = make_child<QLabel>(&window, initial);
        label->setWordWrap(spec.kind == control_kind::wrapped_label);
        return label;
    }
    case control_kind::edit:
    case control_kind::read_only_edit: {
        auto* edit = make_child<QLineEdit>(&window, initial);
        edit->setReadOnly(spec.kind == control_kind::read_only_edit);
        return edit;
    }
    case control_kind::combo:
        return make_combo(window, spec);
    case control_kind::button:
        return make_child<QPushButton>(&window, initial);
    case control_kind::check_box:
        return make_child<QCheckBox>(&window, initial);
    case control_kind::memo:
        return make_memo(window);
    case control_kind::progress_bar: {
        auto* bar = make_child<QProgressBar>(&window);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false); // smooth bar; the number stands beside it
        return bar;
    }
    }
    return make_child<QWidget>(&window);
}

// Shows a button's caption in the window's font, or a smaller one where it would not fit
// (fitting_caption_pixels).
void set_fitting_caption(QPushButton* button, const QString& caption) {
    QFont font = button->parentWidget()->font();
    font.setPixelSize(fitting_caption_pixels(button->width() - caption_margin, font.pixelSize(),
                                             smallest_caption_pixels, [&](int pixels) {
                                                 QFont f = font;
                                                 f.setPixelSize(pixels);
                                                 return QFontMetrics(f).horizontalAdvance(caption);
                                             }));
    button->setFont(font);
    button->setText(caption);
}

} // namespace

combo_box::combo_box(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typed text never becomes a list entry, and no list search completes or pops up
    // while the user types (such a popup took the next click for itself).
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    // The combo box itself makes the entry that the typed text names current when Enter
    // is pressed or the box is left; here typed text chooses nothing.
    QObject::disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    QObject::disconnect(lineEdit(), &QLineEdit::returnPressed, this, nullptr);
}

void combo_box::set_suggestion(int index) {
    suggestion_ = index >= 0 && index < count() ? index : -1;
    if (view()->isVisible()) {
        mark_suggestion();
    }
}

void combo_box::showPopup() {
    QComboBox::showPopup();
    mark_suggestion();
}

void combo_box::mark_suggestion() {
    if (suggestion_ >= 0 && suggestion_ < count()) {
        view()->setCurrentIndex(model()->index(suggestion_, modelColumn(), rootModelIndex()));
    }
}

void frame_window(QWidget& window, const form_spec& form) {
    window.setObjectName(qstr(form.name));
    window.setWindowTitle(qstr(form.caption));
    window.setFont(font_from(form.font, window.font()));
    switch (form.kind) {
    case window_kind::tool:
        window.setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowStaysOnTopHint);
        window.setWindowModality(Qt::NonModal);
        window.setFixedSize(form.client_width, form.client_height);
        break;
    case window_kind::fixed_dialog:
    case window_kind::dialog:
        window.setFixedSize(form.client_width, form.client_height);
        break;
    case window_kind::sizeable:
        window.resize(form.client_width, form.client_height);
        break;
    }
    if (!form.takes_focus) {
        window.setAttribute(Qt::WA_ShowWithoutActivating);
        window.setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    }
}

std::vector<QWidget*> create_controls(QWidget& window, const form_spec& form) {
    const std::span<const control_spec> table = form.controls;
    std::vector<QWidget*> widgets;
    widgets.reserve(table.size());
    for (const control_spec& spec : table) {
        QWidget* widget = make_widget(window, spec);
        widget->setObjectName(qstr(spec.name));
        if (spec.font != font_role::window) {
            widget->setFont(font_from(font_of(spec.font, form), window.font()));
        }
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setAlignment(alignment_of(spec.align));
        }
        widget->setFocusPolicy(spec.tab >= 0 && form.takes_focus ? Qt::StrongFocus : Qt::NoFocus);
        if (auto_sized(spec)) {
            widget->move(spec.place.left, spec.place.top);
            widget->adjustSize();
            widget->setMaximumWidth(window.width() - spec.place.left - 4);
        } else {
            widget->setGeometry(spec.place.left, spec.place.top, spec.place.width,
                                spec.place.height);
        }
        widgets.push_back(widget);
    }
    // A screen reader names a field by its label: the label's buddy, and the field's
    // accessible name, which follows the label's caption (set_widget_text).
    for (const label_link& link : form.labels) {
        if (auto* label = qobject_cast<QLabel*>(widgets[link.label])) {
            label->setBuddy(widgets[link.control]);
            widgets[link.control]->setAccessibleName(label->text().trimmed());
        }
    }
    const std::vector<std::size_t> order = tab_sequence(table);
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(widgets[order[i - 1]], widgets[order[i]]);
    }
    if (!order.empty() && form.takes_focus) {
        widgets[order.front()]->setFocus(); // once the window is first activated
    }
    return widgets;
}

void set_widget_text(QWidget* widget, const QString& text) {
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        set_fitting_caption(button, text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
        if (QWidget* field = label->buddy()) {
            field->setAccessibleName(text.trimmed());
        }
        if (!label->wordWrap() && label->alignment().testFlag(Qt::AlignLeft)) {
            label->adjustSize();
        }
    } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        box->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setEditText(text);
    }
}

QString widget_text(const QWidget* widget) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        return combo->currentText();
    }
    if (const auto* memo = qobject_cast<const QPlainTextEdit*>(widget)) {
        return memo->toPlainText();
    }
    return {};
}

} // namespace zev1::qt
