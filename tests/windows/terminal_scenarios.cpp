// The terminal window without a controller: its place, size and options from section
// "log_win" of the settings file, and the memos filling it after a resize.
#include "app/terminal_layout.h"
#include "windows/driver.h"
#include "windows/test_area.h"

#include <gtest/gtest.h>
#include <tuple>

namespace zev1::scenario {
namespace {

std::unique_ptr<program_driver> start(const test_area& area) {
    return start_program({area.settings(), {}});
}

// The two memos fill the client area: the packet view takes 60 % below the strip.
void expect_memos_fill(program_driver& p) {
    const design_box client = p.client_area("log_win");
    const design_box log = p.geometry("log");
    const design_box txt = p.geometry("txt");
    EXPECT_EQ(log.left, 0);
    EXPECT_EQ(log.top, 32);
    EXPECT_EQ(log.width, client.width);
    EXPECT_EQ(log.height, (client.height - 32) * 6 / 10);
    EXPECT_EQ(txt.top, log.top + log.height + 1);
    EXPECT_EQ(txt.top + txt.height, client.height - 1);
    EXPECT_EQ(txt.width, client.width);
}

TEST(Terminal, defaults_without_settings) {
    test_area area;
    auto p = start(area);
    EXPECT_EQ(p->text("log_win"), "Terminal");
    EXPECT_FALSE(p->visible("log_win"));
    EXPECT_FALSE(p->maximised("log_win"));
    EXPECT_TRUE(p->traits("log_win").resizable);
    const screen_rect outer = p->outer_geometry("log_win");
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    const design_box client = p->client_area("log_win");
    EXPECT_EQ(client.width, terminal_form_spec.client_width);
    EXPECT_EQ(client.height, terminal_form_spec.client_height);

    for (const auto& [name, caption, ticked] :
         {std::tuple{"psat_txt", "Txt", true}, std::tuple{"psat_hex", "Hex", false},
          std::tuple{"psat_hlavicky", "Headers", false},
          std::tuple{"jen_prijem", "Receive-only", true},
          std::tuple{"StandardOFF", "Standard OFF", false}}) {
        EXPECT_EQ(p->text(name), caption);
        EXPECT_EQ(p->checked(name), ticked) << name;
    }
    EXPECT_EQ(p->text("NewLog"), "START Log");
    for (const char* name : {"psat_txt", "psat_hex", "NewLog"}) {
        const auto spec = terminal_controls[*find_control(terminal_controls, name)];
        EXPECT_EQ(p->geometry(name), spec.place) << name;
    }
    expect_memos_fill(*p);
}

TEST(Terminal, settings_restore_place_outer_size_and_options) {
    test_area area;
    area.write_settings("[log_win]\nInitMax=0\npsat_hex=2\npsat_txt=0\njen_prijem=abc\n"
                        "Top=20\nLeft=30\nWidth=500\nHeight=400\n");
    {
        auto p = start(area);
        EXPECT_TRUE(p->checked("psat_hex"));   // 2 counts as ticked
        EXPECT_FALSE(p->checked("psat_txt"));  // 0 unticks
        EXPECT_TRUE(p->checked("jen_prijem")); // abc: the default, ticked
        EXPECT_FALSE(p->maximised("log_win"));
        // Width and Height are the outer size, frame included.
        EXPECT_EQ(p->outer_geometry("log_win"), (screen_rect{30, 20, 500, 400}));
        p->shortcut("Ctrl+T");
        ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
        EXPECT_EQ(p->outer_geometry("log_win"), (screen_rect{30, 20, 500, 400}));
        expect_memos_fill(*p);
    }
    area.write_settings("[log_win]\nInitMax=1\npsat_hex=abc\n");
    auto p = start(area);
    EXPECT_TRUE(p->maximised("log_win"));
    EXPECT_FALSE(p->checked("psat_hex"));
}

TEST(Terminal, memos_fill_the_window_after_a_resize) {
    test_area area;
    auto p = start(area);
    p->shortcut("Ctrl+T");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    p->resize_client("log_win", 600, 432);
    ASSERT_TRUE(p->wait_for([&] { return p->client_area("log_win").width == 600; }, 2000));
    EXPECT_EQ(p->client_area("log_win").height, 432);
    expect_memos_fill(*p);
}

} // namespace
} // namespace zev1::scenario
