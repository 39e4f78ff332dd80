// The main window's form: which security entry a text names, and what the list search
// suggests.
#include "app/main_form.h"

#include <gtest/gtest.h>

namespace zev1 {
namespace {

TEST(MainForm, security_text_names_an_entry_only_whole) {
    EXPECT_EQ(security_entry("WPA2"), 7U);
    EXPECT_EQ(security_entry("wpa2"), 7U);
    EXPECT_EQ(security_entry("auto"), 0U);
    EXPECT_EQ(security_entry("WPA2A"), std::nullopt);
    EXPECT_EQ(security_entry(""), std::nullopt);
}

TEST(MainForm, list_search_suggests_the_whole_entry_before_a_longer_one) {
    // The form's suggestion does not need the application; it reads only the table.
    const auto suggest = [](std::string_view text) {
        return TSDIAppForm::suggestion(main_control::wifi_security, text);
    };
    EXPECT_EQ(suggest("WPA2"), 7U);  // not WPA2AES, which comes first in the list
    EXPECT_EQ(suggest("wpa"), 3U);   // WPA, not WPAAES
    EXPECT_EQ(suggest("wpa2a"), 5U); // a part of WPA2AES
    EXPECT_EQ(suggest("X"), std::nullopt);
    EXPECT_EQ(suggest(""), std::nullopt);
}

} // namespace
} // namespace zev1
