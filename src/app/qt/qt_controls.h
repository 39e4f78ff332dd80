#pragma once
// Builds a window's widgets from its table (app/form_layout.h) and reads and writes their
// texts whatever their kind, so the windows themselves only wire events to their forms.
#include "app/form_layout.h"

#include <QComboBox>
#include <QString>
#include <QWidget>
#include <vector>

namespace zev1::qt {

// An editable combo box whose typed text only ever is text (main_view.h): no completer
// and no popup while typing, and neither Enter nor leaving the box makes an entry of
// the typed text. It keeps the entry the form suggests and marks it when its list opens.
class combo_box final : public QComboBox {
    Q_OBJECT
public:
    explicit combo_box(QWidget* parent);
    // The entry marked for the typed text (-1: none).
    void set_suggestion(int index);
    int suggestion() const { return suggestion_; }
    void showPopup() override;

private:
    void mark_suggestion();

    int suggestion_ = -1;
};

// Frames the window as its kind asks, names it, sets its caption and its client size.
void frame_window(QWidget& window, const form_spec& form);

// One widget a row, in the table's order, each a child of window named as its row,
// placed, filled with its initial text and list, and chained in the table's tab order,
// the first of which has the focus when the window is first activated. A label that
// names a field (form_spec::labels) is its buddy and gives it its accessible name.
std::vector<QWidget*> create_controls(QWidget& window, const form_spec& form);

// A label's, button's or check box's caption, an edit's or combo box's text. A button's
// caption is shown in a smaller font where it would not fit; an auto-sized label grows,
// and the field it names takes the new caption as its accessible name.
void set_widget_text(QWidget* widget, const QString& text);
QString widget_text(const QWidget* widget);

} // namespace zev1::qt
