#pragma once
// The about box: program name and version, one OK button. Shown from the main window
// with F1.
#include <QDialog>

namespace zev1 {

class TAboutBox final : public QDialog {
    Q_OBJECT
public:
    TAboutBox();
};

} // namespace zev1
