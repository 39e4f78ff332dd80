#pragma once
// The progress window in Win32: the controls of progress_layout.h in a small tool window
// that stays on top, has no close box, is not modal and never takes the focus (the main
// window stays usable and keeps the keys); what they do is the form's
// (app/progress_form.h). The transfer's error box is queued with the program's message
// boxes, so it opens outside the tick (app/message_boxes.h).
#include "app/progress_form.h"
#include "app/win32/form_window.h"
#include "app/win32/message_boxes.h"
#include "app/win32/message_pump.h"

#include <string_view>

namespace zev1::win32 {

class progress_window final : public form_window, public progress_window_view {
public:
    progress_window(HWND owner, const text_codec& codec, message_boxes& boxes,
                    const message_pump& pump);

    Tprogress_win& form() { return form_; }

    // progress_window_view
    void set_visible(bool visible) override;
    void process_pending_events() override;
    void set_bar(int position) override;
    int bar() const override;
    void show_error(std::string_view text) override;

private:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;

    Tprogress_win form_;
    message_boxes& boxes_;
    const message_pump& pump_;
};

} // namespace zev1::win32
