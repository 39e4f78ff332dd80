#include "log/message_text.h"

#include <gtest/gtest.h>

namespace zev1 {

TEST(MessageText, KeepsBlanksThatBelongToTheText) {
    EXPECT_EQ(message_text(4), "    <unknown>");
    EXPECT_EQ(message_text(5), "Disco&nnect ");
    EXPECT_EQ(message_text(8), "C&onnect &ISP ");
}

TEST(MessageText, CaptionsUsedByTheWindows) {
    EXPECT_EQ(message_text(2), "Writing to the device");
    EXPECT_EQ(message_text(12), "Receive-only");
    EXPECT_EQ(message_text(13), "Terminal");
    EXPECT_EQ(message_text(14), "Progress");
}

TEST(MessageText, IdsWithoutTextGiveTheEmptyText) {
    EXPECT_EQ(message_text(15), "Unimplemented feature in the INTEL HEX file!");
    for (std::uint16_t id : {16, 17, 50, 99, 100, 1000, 65535}) {
        EXPECT_EQ(message_text(id), "") << id;
    }
}

} // namespace zev1
