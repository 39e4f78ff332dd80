#pragma once
// Puts a top-level window in the middle of the screen it is on (or the primary screen).
#include <QWidget>

namespace zev1::qt {

void centre_on_screen(QWidget& window);

} // namespace zev1::qt
