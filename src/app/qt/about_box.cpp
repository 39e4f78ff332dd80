#include "app/qt/about_box.h"

#include "app/about.h"
#include "app/qt/qt_controls.h"
#include "app/qt/qt_text.h"
#include "app/qt/window_placement.h"

#include <QPushButton>

namespace zev1::qt {

about_box::about_box(const std::filesystem::path& settings_file) : settings_file_(settings_file) {
    frame_window(*this, about_form_spec);
    controls_ = create_controls(*this, about_form_spec);
    show_texts(true);
    // The whole path, where the box shows it shortened.
    controls_[row(about_control::SettingsFile)]->setToolTip(
        QString::fromStdU16String(settings_file.u16string()));
    auto* ok = qobject_cast<QPushButton*>(controls_[row(about_control::OKButton)]);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    centre_on_screen(*this);
}

void about_box::show_texts(bool german) {
    const auto texts = about_texts(settings_file_, german);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        set_widget_text(controls_[i], qstr(texts[i]));
    }
}

} // namespace zev1::qt
