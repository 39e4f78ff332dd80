#include "app/win32/message_boxes.h"

#include "app/main_layout.h"
#include "app/win32/win_text.h"

namespace zev1::win32 {

void message_box_opener::open_waiting() {
    // Not while answering a message another thread sent and waits on: the next tick asks
    // again.
    if (owner_ == nullptr || !::IsWindow(owner_) || ::InSendMessage()) {
        return;
    }
    queue_.open_waiting();
}

void message_box_opener::open_box(box_kind kind, std::string_view text) {
    const UINT icon = kind == box_kind::error ? MB_ICONERROR : MB_ICONWARNING;
    ::MessageBoxW(owner_, wide(text).c_str(), wide(application_title).c_str(), MB_OK | icon);
    queue_.closed();
}

void message_box_opener::wake() {
    ::PostMessageW(owner_, box_waiting_message, 0, 0);
}

} // namespace zev1::win32
