#pragma once
// The about box in Qt: the controls of app/about.h with the program's name, version,
// purpose and settings file, and OK. Shown from the main window with F1.
#include <QDialog>
#include <filesystem>

namespace zev1::qt {

class about_box final : public QDialog {
    Q_OBJECT
public:
    explicit about_box(const std::filesystem::path& settings_file);
};

} // namespace zev1::qt
