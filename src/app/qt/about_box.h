#pragma once
// The about box in Qt: the controls of app/about.h with the program's name, version and
// purpose, and OK. Shown from the main window with F1.
#include <QDialog>

namespace zev1::qt {

class about_box final : public QDialog {
    Q_OBJECT
public:
    about_box();
};

} // namespace zev1::qt
