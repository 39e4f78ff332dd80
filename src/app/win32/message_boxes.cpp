#include "app/win32/message_boxes.h"

#include "app/main_layout.h"
#include "app/win32/win_text.h"

#include <algorithm>

namespace zev1::win32 {

void message_boxes::show(std::wstring text, kind k) {
    const auto same = std::find_if(waiting_.begin(), waiting_.end(),
                                   [k](const waiting& w) { return w.what == k; });
    if (same != waiting_.end()) {
        same->text = std::move(text);
    } else {
        waiting_.push_back({std::move(text), k});
    }
    ::PostMessageW(owner_, box_waiting_message, 0, 0);
}

void message_boxes::show_waiting() {
    // Not inside a tick, and not while answering a message another thread sent and waits
    // on: the next tick asks again.
    if (open_ || ticks_ > 0 || ::InSendMessage()) {
        return;
    }
    const std::wstring title = wide(application_title);
    while (!waiting_.empty() && owner_ != nullptr && ::IsWindow(owner_)) {
        const waiting next = waiting_.front();
        waiting_.pop_front();
        open_ = true;
        const UINT icon = next.what == kind::error ? MB_ICONERROR : MB_ICONWARNING;
        ::MessageBoxW(owner_, next.text.c_str(), title.c_str(), MB_OK | icon);
        open_ = false;
    }
}

void message_boxes::leave_tick() {
    if (--ticks_ == 0 && !waiting_.empty() && !open_) {
        ::PostMessageW(owner_, box_waiting_message, 0, 0);
    }
}

} // namespace zev1::win32
