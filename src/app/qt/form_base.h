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
    void set_text(std::size_t row, std::string_view text) override;
    std::string text(std::size_t row) const override;
    void set_checked(std::size_t row, bool checked) override;
    bool checked(std::size_t row) const override;
    void place(std::size_t row, const design_box& box) override;
    void set_caption(std::string_view text) override;
    void set_hint(std::size_t row, std::string_view text) override;
    void set_window_hint(std::string_view text) override;
    void set_accessible_name(std::size_t row, std::string_view text) override;

private:
    std::vector<QWidget*> controls_;
};

} // namespace zev1::qt
