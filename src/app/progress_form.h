#pragma once
// What the progress window does, free of any toolkit: the description, the percentage of
// a transfer, Cancel, and the transfer's error box. It is the transfer sequencer's
// progress_view; a toolkit window implements progress_window_view and forwards the
// Cancel button's click.
//
// The error box is opened without a nested message loop inside the transfer's step: the
// view shows it and returns at once, and the box stays up (modal for the user) until OK
// is pressed. The poll loop therefore keeps running the link while the box is open:
// keep-alives go on and the watchdog keeps watching. A box that ran its own loop here
// would be called from inside the link's poll step, and the poll step refuses to nest,
// so the link would stand still for as long as the box was open.
#include "app/form_view.h"
#include "app/progress_layout.h"
#include "app/text_codec.h"
#include "memory/progress_view.h"

#include <cstdint>
#include <string_view>

namespace zev1 {

class progress_window_view : public virtual form_controls {
public:
    // Shows the window (centred, on top of the others) or hides it. It never takes the
    // focus (progress_form_spec.takes_focus): the window that had the keys keeps them,
    // and a click on Cancel cancels without activating the window.
    virtual void set_visible(bool visible) = 0;
    // Lets the toolkit handle what is pending (the window appears or vanishes and is
    // repainted). Timer ticks and clicks that were waiting run inside this call.
    virtual void process_pending_events() = 0;
    virtual void set_bar(int position) = 0;
    virtual int bar() const = 0;
    // The transfer's error box, one OK button; returns at once (message_boxes.h queues it
    // and opens it after the tick).
    virtual void show_error(std::string_view text) = 0;

protected:
    ~progress_window_view() = default;
};

class Tprogress_win final : public progress_view {
public:
    Tprogress_win(progress_window_view& view, const text_codec& codec);
    Tprogress_win(const Tprogress_win&) = delete;
    Tprogress_win& operator=(const Tprogress_win&) = delete;

    // progress_view
    void show_progress(std::string_view text, std::uint32_t total, bool visible) override;
    void set_remaining(std::uint32_t remaining) override;
    bool take_cancel() override;
    void show_error(std::string_view text) override;

    // The Cancel button.
    void CancelClick() { cancel_requested_ = true; }

private:
    progress_window_view& view_;
    const text_codec& codec_;
    bool cancel_requested_ = false;
    std::uint32_t total_ = 0;
};

} // namespace zev1
