#include "settings/utf8.h"

#include <gtest/gtest.h>

using namespace zev1;

TEST(Utf8, DecodesTheShortestFormsUpToTheLastCodePoint) {
    EXPECT_EQ(decode_utf8("A").code_point, U'A');
    EXPECT_EQ(decode_utf8("\xC2\x80").code_point, U'\x80');
    EXPECT_EQ(decode_utf8("\xE0\xA0\x80").code_point, U'\x800');
    EXPECT_EQ(decode_utf8("\xEE\x80\x80").code_point, U'\xE000');
    EXPECT_EQ(decode_utf8("\xF0\x90\x80\x80").code_point, U'\x10000');
    const utf8_char last = decode_utf8("\xF4\x8F\xBF\xBFtail");
    EXPECT_EQ(last.code_point, U'\x10FFFF');
    EXPECT_EQ(last.length, 4u);
}

TEST(Utf8, RefusesOverlongFormsSurrogatesAndWhatLiesPastTheLastCodePoint) {
    for (const std::string_view bad :
         {"", "\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
          "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xE2\x82", "\xC4x"}) {
        EXPECT_EQ(utf8_sequence_length(bad), 0u) << testing::PrintToString(bad);
    }
    EXPECT_TRUE(valid_utf8("\xC4\x8D\xE2\x82\xAC"));
    EXPECT_FALSE(valid_utf8("\xC4\x8D\xED\xA0\x80"));
}
