#pragma once
// The progress window in Qt: the controls of progress_layout.h in a small always-on-top
// tool window without a close box, not modal, that never takes the focus. What they do
// is the form's (app/progress_form.h); the transfer's error box opens through the
// program's message boxes.
#include "app/progress_form.h"
#include "app/qt/form_base.h"

#include <string_view>

namespace zev1 {
class message_boxes;
}

namespace zev1::qt {

class progress_window final : public form_base, public progress_window_view {
    Q_OBJECT
public:
    progress_window(const text_codec& codec, message_boxes& boxes);
    ~progress_window() override;

    Tprogress_win& form() { return form_; }

    // progress_window_view
    void set_visible(bool visible) override;
    void process_pending_events() override;
    void set_bar(int position) override;
    int bar() const override;
    void show_error(std::string_view text) override;

private:
    Tprogress_win form_;
    message_boxes& boxes_;
};

} // namespace zev1::qt
