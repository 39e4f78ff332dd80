#pragma once
// The program's message loop and the processing of pending messages that the progress
// window asks for: keyboard navigation between controls (Tab, the arrow keys) in each of
// the program's windows and the main window's accelerators (Ctrl+T, F1) work in both.
#include "app/win32/win_handles.h"

#include <vector>
#include <windows.h>

namespace zev1::win32 {

class message_pump {
public:
    // Keys of the accelerator table go to window when it or a control of it has the focus.
    void set_accelerators(HWND window, HACCEL table);
    // A window whose controls are reached with Tab.
    void add_window(HWND window) { windows_.push_back(window); }

    // Handles a message the program's way (accelerator, dialog navigation); false when it
    // is to be translated and dispatched as usual.
    bool pre_translate(MSG& message) const;
    // Handles every message that is waiting, then returns.
    void process_pending() const;
    // Runs until WM_QUIT; returns its exit code.
    int run() const;

private:
    HWND accelerator_window_ = nullptr;
    HACCEL accelerators_ = nullptr;
    std::vector<HWND> windows_;
};

} // namespace zev1::win32
