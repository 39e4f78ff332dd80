// The terminal window's form: place and options from the settings, the packet lines and
// their options, text lines in the view and the log file.
#include "app/terminal_form.h"
#include "forms/fake_views.h"
#include "link/frame.h"
#include "windows/test_area.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zev1 {
namespace {

using scenario::test_area;
using ::testing::ElementsAre;

struct terminal {
    explicit terminal(std::string_view settings_text = {}) {
        area.write_settings(settings_text);
        settings = std::make_unique<Tini_file>(area.settings());
        form = std::make_unique<Tlog_win>(view, *settings, codec,
                                          [] { return scenario::pinned_time(); });
        form->FormCreate();
    }
    bool ticked(terminal_control c) const { return view.ticks[row(c)]; }
    const std::vector<std::string>& lines(terminal_control c) const { return view.lines[row(c)]; }

    test_area area;
    fake_terminal_window view;
    same_bytes_codec codec;
    std::unique_ptr<Tini_file> settings;
    std::unique_ptr<Tlog_win> form;
};

std::vector<std::uint8_t> frame_of(std::uint8_t type, std::vector<std::uint8_t> data = {}) {
    std::array<std::uint8_t, frame_buffer_size> out{};
    const std::size_t n = build_frame(out, type, frame_header{}, data);
    return {out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)};
}

TEST(TerminalForm, each_place_value_is_applied_right_after_it_is_read) {
    terminal t("[log_win]\nLeft=30\nHeight=400\n");
    // Top (the current one), Left, Width (the current outer one), Height: in this order,
    // each from the geometry the previous one left.
    EXPECT_THAT(t.view.outer_sets,
                ElementsAre(screen_rect{0, 0, 718, 698}, screen_rect{30, 0, 718, 698},
                            screen_rect{30, 0, 718, 698}, screen_rect{30, 0, 718, 400}));
    EXPECT_FALSE(t.view.zoomed);
    EXPECT_TRUE(t.ticked(terminal_control::psat_txt));
    EXPECT_TRUE(t.ticked(terminal_control::jen_prijem));
    EXPECT_FALSE(t.ticked(terminal_control::StandardOFF));
    EXPECT_EQ(t.view.texts[row(terminal_control::jen_prijem)], "Receive-only");
    EXPECT_EQ(t.view.caption, "Terminal");

    t.form->resized(600, 432);
    EXPECT_EQ(t.view.places[row(terminal_control::log)], (design_box{0, 32, 600, 240}));
    EXPECT_EQ(t.view.places[row(terminal_control::txt)], (design_box{0, 273, 600, 158}));
}

TEST(TerminalForm, packet_lines_follow_the_options) {
    terminal t;
    const auto ping = frame_of(P_PING);
    t.form->add_packet_line(ping, true, packet_log_name(P_PING), "");
    t.form->add_packet_line(ping, false, packet_log_name(P_PING), ""); // receive-only
    EXPECT_THAT(t.lines(terminal_control::log), ElementsAre("-->     <P_PING> "));

    t.view.ticks[row(terminal_control::psat_hex)] = true;
    t.view.ticks[row(terminal_control::jen_prijem)] = false;
    t.form->add_packet_line(frame_of(P_ECHO, {0x0A, 0xFF}), false, packet_log_name(P_ECHO), "");
    EXPECT_EQ(t.lines(terminal_control::log).back(), "<-- 0A FF     <P_ECHO> ");

    t.view.ticks[row(terminal_control::StandardOFF)] = true;
    t.form->add_packet_line(ping, true, packet_log_name(P_PING), "");
    EXPECT_EQ(t.lines(terminal_control::log).size(), 2U);
}

TEST(TerminalForm, text_lines_go_to_the_view_and_the_started_log) {
    terminal t;
    t.form->log_text("before any log");
    {
        const scenario::current_directory cwd(t.area.dir());
        t.form->clicked(terminal_control::NewLog);
        EXPECT_EQ(t.view.texts[row(terminal_control::NewLog)], "New Log");
        t.form->log_text("Hello");
        t.form->clicked(terminal_control::NewLog); // same second: same file, appended
        t.form->log_text("W\xC3\xA4rme");
    }
    EXPECT_THAT(t.lines(terminal_control::txt),
                ElementsAre("07.12.2026 23:54:24     before any log",
                            "07.12.2026 23:54:24     Hello",
                            "07.12.2026 23:54:24     W\xC3\xA4rme"));
    // Lines reach the file at once, not only when it is closed.
    const std::string eol(scenario::eol);
    EXPECT_EQ(scenario::file_text(t.area.dir() / "2026-12-07-23-54-24.log"),
              "07.12.2026 23:54:24    Hello" + eol + "07.12.2026 23:54:24    W\xC3\xA4rme" + eol);
}

// A memo keeps its last lines: past the limit the oldest tenth goes at once, and the
// count the form keeps stays true, so the next cut comes a tenth later again.
TEST(TerminalForm, a_full_memo_drops_its_oldest_tenth) {
    terminal t;
    constexpr int limit = Tlog_win::max_view_lines;
    for (int i = 0; i <= limit; ++i) {
        t.form->log_text(std::to_string(i));
    }
    const auto& txt = t.lines(terminal_control::txt);
    ASSERT_EQ(txt.size(), static_cast<std::size_t>(limit - limit / 10));
    EXPECT_THAT(txt.front(), ::testing::EndsWith(" " + std::to_string(limit / 10 + 1)));
    EXPECT_THAT(txt.back(), ::testing::EndsWith(" " + std::to_string(limit)));
    for (int i = 0; i < limit / 10; ++i) {
        t.form->log_text("more");
    }
    EXPECT_EQ(txt.size(), static_cast<std::size_t>(limit));
    t.form->log_text("one too many");
    EXPECT_EQ(txt.size(), static_cast<std::size_t>(limit - limit / 10));
    EXPECT_TRUE(t.lines(terminal_control::log).empty());
}

TEST(TerminalForm, log_file_that_cannot_open_is_reported) {
    terminal t;
    // A folder in the way of the log file's name.
    std::filesystem::create_directory(t.area.dir() / "2026-12-07-23-54-24.log");
    {
        const scenario::current_directory cwd(t.area.dir());
        t.form->clicked(terminal_control::NewLog);
    }
    EXPECT_TRUE(t.form->log_path().empty());
    EXPECT_THAT(t.lines(terminal_control::txt).back(),
                ::testing::HasSubstr("2026-12-07-23-54-24.log"));
}

} // namespace
} // namespace zev1
