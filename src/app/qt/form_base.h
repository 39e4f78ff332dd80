#pragma once
// The base of the Qt windows that have a form: frames the window as its table says,
// builds its widgets (qt_controls.h) and gives the form their texts, ticks and places by
// row.
#include "app/form_view.h"

#include <QWidget>
#include <vector>

namespace zev1::qt {

class form_base : public QWidget, public virtual form_controls {
    Q_OBJECT
public:
    explicit form_base(const form_spec& form);

    QWidget* control(std::size_t row) const { return controls_[row]; }

    // form_controls
    ZEV1_FORM_CONTROLS_OVERRIDES

private:
    std::vector<QWidget*> controls_;
};

} // namespace zev1::qt
