#include "app/message_boxes.h"

#include <algorithm>
#include <utility>

namespace zev1 {

void message_boxes::show(box_kind kind, std::string text) {
    const auto same = std::find_if(waiting_.begin(), waiting_.end(),
                                   [kind](const request& r) { return r.kind == kind; });
    if (same != waiting_.end()) {
        same->text = std::move(text);
        return; // already woken for
    }
    waiting_.push_back({kind, std::move(text)});
    opener_.wake();
}

void message_boxes::leave_tick() {
    if (ticks_ > 0 && --ticks_ == 0 && !waiting_.empty() && !open_) {
        opener_.wake();
    }
}

void message_boxes::open_waiting() {
    // A modal box returns after closed(), so the next one opens in the same loop.
    while (!open_ && ticks_ == 0 && !waiting_.empty()) {
        const request next = std::move(waiting_.front());
        waiting_.pop_front();
        open_ = true;
        opener_.open_box(next.kind, next.text);
    }
}

void message_boxes::closed() {
    open_ = false;
    if (!waiting_.empty()) {
        opener_.wake();
    }
}

} // namespace zev1
