// The message boxes' queue: a box never opens inside a tick, one is open at a time, and a
// box of a kind that still waits takes the newer text.
#include "app/message_boxes.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zev1 {
namespace {

// Records what opens; a modal opener closes each box inside open_box, as a box with its
// own loop does once OK is pressed.
class recording_opener final : public box_opener {
public:
    explicit recording_opener(bool modal) : modal_(modal) {}
    message_boxes* queue = nullptr;
    std::vector<std::string> opened;
    int wakes = 0;

    void open_box(box_kind kind, std::string_view text) override {
        opened.push_back((kind == box_kind::error ? "error " : "notice ") + std::string(text));
        if (modal_) {
            queue->closed();
        }
    }
    void wake() override { ++wakes; }

private:
    bool modal_;
};

TEST(MessageBoxes, open_after_the_tick_one_at_a_time_latest_text_of_a_kind) {
    recording_opener opener(false);
    message_boxes boxes(opener);
    opener.queue = &boxes;

    boxes.enter_tick();
    boxes.show(box_kind::error, "Writing to the device");
    boxes.open_waiting(); // woken inside the tick (a nested event loop): not yet
    EXPECT_TRUE(opener.opened.empty());
    boxes.leave_tick();
    EXPECT_GE(opener.wakes, 1);
    boxes.open_waiting();
    ASSERT_EQ(opener.opened, std::vector<std::string>{"error Writing to the device"});

    // While it is open, two notices come: the second replaces the first's text.
    boxes.show(box_kind::notice, "first");
    boxes.show(box_kind::notice, "second");
    boxes.open_waiting();
    EXPECT_EQ(opener.opened.size(), 1U);
    const int wakes = opener.wakes;
    boxes.closed();
    EXPECT_GT(opener.wakes, wakes);
    boxes.open_waiting();
    EXPECT_EQ(opener.opened.back(), "notice second");
    EXPECT_EQ(boxes.waiting(), 0U);
}

TEST(MessageBoxes, modal_boxes_open_one_after_the_other_in_one_call) {
    recording_opener opener(true);
    message_boxes boxes(opener);
    opener.queue = &boxes;
    boxes.show(box_kind::error, "e");
    boxes.show(box_kind::notice, "n");
    boxes.open_waiting();
    EXPECT_EQ(opener.opened, (std::vector<std::string>{"error e", "notice n"}));
    EXPECT_FALSE(boxes.open());
}

} // namespace
} // namespace zev1
