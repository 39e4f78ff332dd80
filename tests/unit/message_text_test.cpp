#include "log/message_text.h"

#include <gtest/gtest.h>

namespace zev1 {

TEST(MessageText, IdsWithoutTextGiveTheEmptyText) {
    EXPECT_EQ(message_text(15), "Unimplemented feature in the INTEL HEX file!");
    for (std::uint16_t id : {16, 17, 50, 99, 100, 1000, 65535}) {
        EXPECT_EQ(message_text(id), "") << id;
    }
}

} // namespace zev1
