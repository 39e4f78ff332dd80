#pragma once
// The about box in Qt: the controls of app/about.h with the program's name, version,
// purpose and settings file, and OK. Shown from the main window with F1, with its texts
// in the main window's language.
#include <QDialog>
#include <filesystem>
#include <vector>

namespace zev1::qt {

class about_box final : public QDialog {
    Q_OBJECT
public:
    explicit about_box(const std::filesystem::path& settings_file);
    // The texts in German or Czech (app/about.h).
    void show_texts(bool german);

private:
    std::filesystem::path settings_file_;
    std::vector<QWidget*> controls_;
};

} // namespace zev1::qt
