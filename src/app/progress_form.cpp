#include "app/progress_form.h"

#include "log/message_text.h"
#include "memory/progress_percent.h"

#include <string>

namespace zev1 {

Tprogress_win::Tprogress_win(progress_window_view& view, const text_codec& codec)
    : view_(view), codec_(codec) {}

void Tprogress_win::show_progress(std::string_view text, std::uint32_t total, bool visible) {
    // The sequencer's descriptions are UTF-8 already.
    view_.set_text(row(progress_control::text), text);
    total_ = total;
    view_.set_visible(visible);
    view_.process_pending_events();
    view_.set_bar(0);
    if (visible) {
        cancel_requested_ = false;
    }
    view_.set_caption(codec_.to_window(message_text(14)));
}

void Tprogress_win::set_remaining(std::uint32_t remaining) {
    if (total_ == 0) {
        return;
    }
    view_.set_bar(static_cast<int>(progress_percent(total_, remaining)));
    view_.set_text(row(progress_control::Procenta), std::to_string(view_.bar()));
}

bool Tprogress_win::take_cancel() {
    const bool requested = cancel_requested_;
    cancel_requested_ = false;
    return requested;
}

void Tprogress_win::show_error(std::string_view text) {
    view_.show_error(codec_.to_window(text));
}

} // namespace zev1
