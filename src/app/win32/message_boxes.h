#pragma once
// The program's message boxes in Win32 (app/message_boxes.h decides when one opens): a
// MessageBoxW owned by the main window, which runs its own loop until OK is pressed; the
// main window's timer ticks run inside that loop as whole ticks. The queue is woken
// through a message posted to the main window.
#include "app/message_boxes.h"

#include <string_view>
#include <windows.h>

namespace zev1::win32 {

// Posted to the owner window when a box is waiting.
inline constexpr UINT box_waiting_message = WM_APP + 1;

class message_box_opener final : public box_opener {
public:
    message_boxes& queue() { return queue_; }
    // The window that owns the boxes (disabled while one is up) and gets the posts.
    void set_owner(HWND owner) { owner_ = owner; }
    // On box_waiting_message.
    void open_waiting();

    void open_box(box_kind kind, std::string_view text) override;
    void wake() override;

private:
    message_boxes queue_{*this};
    HWND owner_ = nullptr;
};

} // namespace zev1::win32
