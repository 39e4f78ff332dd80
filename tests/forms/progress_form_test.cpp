// The progress window's form: the order of a show, the percentages, Cancel.
#include "app/progress_form.h"
#include "forms/fake_views.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zev1 {
namespace {

using ::testing::ElementsAre;

TEST(ProgressForm, show_lets_pending_events_run_before_the_bar_and_cancel_are_reset) {
    fake_progress_window view;
    same_bytes_codec codec;
    Tprogress_win form(view, codec);
    // A Cancel click that was waiting when the window appeared belongs to no transfer.
    view.on_pump = [&] { form.CancelClick(); };
    form.show_progress("Reading from the device", 16384, true);
    EXPECT_THAT(view.calls, ElementsAre("text Reading from the device", "visible 1", "pump",
                                        "bar 0", "caption Progress"));
    EXPECT_FALSE(form.take_cancel());
    // Hiding keeps a click that arrived meanwhile: it is taken by the transfer's end.
    form.show_progress("", 1, false);
    EXPECT_TRUE(form.take_cancel());
}

TEST(ProgressForm, percent_counts_the_part_already_requested) {
    fake_progress_window view;
    same_bytes_codec codec;
    Tprogress_win form(view, codec);
    form.show_progress("read", 16384, true);
    std::vector<int> shown;
    for (std::uint32_t remaining = 16384; remaining > 0; remaining -= 256) {
        form.set_remaining(remaining);
        shown.push_back(view.position);
        EXPECT_EQ(view.texts[row(progress_control::Procenta)], std::to_string(view.position));
    }
    ASSERT_EQ(shown.size(), 64U);
    EXPECT_THAT(std::vector<int>(shown.begin(), shown.begin() + 7),
                ElementsAre(0, 2, 4, 5, 7, 8, 10));
    EXPECT_THAT(std::vector<int>(shown.end() - 3, shown.end()), ElementsAre(96, 97, 99));
    // More remaining than the total never wraps to a large number.
    form.set_remaining(20000);
    EXPECT_EQ(view.position, 0);
    // With no total the bar and the number stay as they are.
    form.show_progress("read", 0, true);
    form.set_remaining(123);
    EXPECT_EQ(view.position, 0);
    EXPECT_EQ(view.texts[row(progress_control::Procenta)], "0");
}

TEST(ProgressForm, cancel_is_taken_once_and_forgotten_on_show) {
    fake_progress_window view;
    same_bytes_codec codec;
    Tprogress_win form(view, codec);
    form.show_progress("read", 100, true);
    EXPECT_FALSE(form.take_cancel());
    form.CancelClick();
    form.CancelClick();
    EXPECT_TRUE(form.take_cancel());
    EXPECT_FALSE(form.take_cancel()); // two presses before a look count once
    form.CancelClick();
    form.show_progress("next", 100, true); // the next transfer forgets it
    EXPECT_FALSE(form.take_cancel());
}

} // namespace
} // namespace zev1
