#pragma once
// What the transfer sequencer needs of a progress display: the progress window in
// the configurator, a bar on standard error in the command-line tool, a fake in tests.
// Implementations may process pending user-interface events inside these calls, so
// the caller must have finished its own state changes before calling.
#include <cstdint>
#include <string_view>

namespace zev1 {

class progress_view {
public:
    // Shows or hides the display with a new description (UTF-8, the sequencer's own
    // captions) and a new total (bytes for 100 %).
    virtual void show_progress(std::string_view text, std::uint32_t total, bool visible) = 0;
    // Bytes not yet requested; moves the bar to 100 - remaining * 100 / total.
    virtual void set_remaining(std::uint32_t remaining) = 0;
    // True once per press of Cancel; taking it clears it.
    virtual bool take_cancel() = 0;
    // The transfer's modal error box with one OK button.
    virtual void show_error(std::string_view text) = 0;

protected:
    ~progress_view() = default;
};

} // namespace zev1
