// The about box's settings-file line: a long path is cut, never inside a character, and
// keeps its end, where the file name is.
#include "app/about.h"

#include <gtest/gtest.h>

namespace zev1 {
namespace {

TEST(About, ALongPathIsCutOnWholeCharactersAndKeepsItsEnd) {
    std::string path;
    for (int i = 0; i < 20; ++i) {
        path += "\xC5\x99"; // r with caron, two bytes
    }
    path += "/zev1-wifi-config.INI";
    EXPECT_EQ(shortened_in_the_middle(path, 20), "\xC5\x99\xC5\x99\xC5\x99\xC5\x99\xC5\x99\xC5\x99"
                                                 "\xE2\x80\xA6"
                                                 "fi-config.INI");
    EXPECT_EQ(shortened_in_the_middle("/tmp/zev1-wifi.INI", 20), "/tmp/zev1-wifi.INI");
}

} // namespace
} // namespace zev1
