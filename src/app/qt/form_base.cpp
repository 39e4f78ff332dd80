#include "app/qt/form_base.h"

#include "app/qt/qt_controls.h"
#include "app/qt/qt_text.h"

#include <QAbstractButton>

namespace zev1::qt {

form_base::form_base(const form_spec& form) {
    frame_window(*this, form);
    controls_ = create_controls(*this, form);
}

void form_base::set_text(std::size_t row, std::string_view text) {
    set_widget_text(controls_[row], qstr(text));
}

std::string form_base::text(std::size_t row) const {
    return utf8(widget_text(controls_[row]));
}

void form_base::set_checked(std::size_t row, bool checked) {
    if (auto* box = qobject_cast<QAbstractButton*>(controls_[row])) {
        box->setChecked(checked);
    }
}

bool form_base::checked(std::size_t row) const {
    const auto* box = qobject_cast<const QAbstractButton*>(controls_[row]);
    return box != nullptr && box->isChecked();
}

void form_base::place(std::size_t row, const design_box& box) {
    controls_[row]->setGeometry(box.left, box.top, box.width, box.height);
}

void form_base::set_caption(std::string_view text) {
    setWindowTitle(qstr(text));
}

void form_base::set_hint(std::size_t row, std::string_view text) {
    controls_[row]->setToolTip(qstr(text));
}

void form_base::set_accessible_name(std::size_t row, std::string_view text) {
    controls_[row]->setAccessibleName(qstr(text));
}

void form_base::set_window_hint(std::string_view text) {
    setToolTip(qstr(text));
}

} // namespace zev1::qt
