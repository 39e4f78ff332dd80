#include "app/win32/message_pump.h"

namespace zev1::win32 {

namespace {

bool belongs_to(HWND window, HWND target) {
    return target != nullptr && (target == window || ::IsChild(window, target));
}

void handle(const message_pump& pump, MSG& message) {
    if (!pump.pre_translate(message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

} // namespace

void message_pump::set_accelerators(HWND window, HACCEL table) {
    accelerator_window_ = window;
    accelerators_ = table;
}

bool message_pump::pre_translate(MSG& message) const {
    if (accelerators_ != nullptr && belongs_to(accelerator_window_, message.hwnd) &&
        ::TranslateAcceleratorW(accelerator_window_, accelerators_, &message) != 0) {
        return true;
    }
    for (HWND window : windows_) {
        if (::IsWindow(window) && belongs_to(window, message.hwnd)) {
            return ::IsDialogMessageW(window, &message) != 0;
        }
    }
    return false;
}

void message_pump::process_pending() const {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam)); // for the main loop
            return;
        }
        handle(*this, message);
    }
}

int message_pump::run() const {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        handle(*this, message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace zev1::win32
