// The pieces of zev1-wifi that need no port: the command line, JSON text, the port
// choice, what is sent and compared, and the tick clock.
#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "json_text.h"
#include "port_choice.h"
#include "session.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace zev1::cli {
namespace {

parse_result parse(const std::vector<std::string>& args) {
    return parse_command_line(args);
}

TEST(command_line_test, CommandAndOptionsInAnyOrder) {
    auto r = parse({"--verbose", "write", "--ssid=home", "--key", "", "--port", "ttyUSB0",
                    "--verify", "--settings", "/tmp/x.INI"});
    ASSERT_TRUE(r.options) << r.text;
    const cli_options& o = *r.options;
    EXPECT_EQ(o.cmd, command::write);
    EXPECT_TRUE(o.verbose);
    EXPECT_TRUE(o.verify);
    EXPECT_EQ(o.ssid, "home");
    EXPECT_EQ(o.key, ""); // an empty value clears the field
    EXPECT_FALSE(o.security);
    EXPECT_EQ(o.port, "ttyUSB0");
    EXPECT_EQ(o.settings.read, std::filesystem::path("/tmp/x.INI"));
    EXPECT_EQ(o.settings.write, std::filesystem::path("/tmp/x.INI"));

    EXPECT_EQ(parse({"auto"}).options->cmd, command::automatic);
    EXPECT_TRUE(parse({"ports", "--json"}).options->json);
    const auto help = parse({"read", "-h"});
    EXPECT_FALSE(help.options);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.text.find("Usage: zev1-wifi read"), std::string::npos) << help.text;
    // A value that looks like an option is still the value.
    EXPECT_EQ(parse({"write", "--key", "--x"}).options->key, "--x");
    // "--key=" is the empty value, not a key waiting in the next argument.
    const auto cleared = parse({"write", "--key=", "--verify"});
    ASSERT_TRUE(cleared.options) << cleared.text;
    EXPECT_EQ(cleared.options->key, "");
    EXPECT_TRUE(cleared.options->verify);
}

TEST(command_line_test, RefusedCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"flash"},
        {"read", "read"},
        {"read", "--port"},
        {"read", "--port", ""},
        {"ports", "--port", "x"},
        {"read", "--endpoint", "a,1"},
        {"auto", "--ssid", "x"},
        {"read", "--verify"},
        {"read", "--json=yes"},
        {"read", "--settings", ""},
        {"read", "-x"},
    };
    for (const auto& args : bad) {
        const auto r = parse(args);
        EXPECT_FALSE(r.options) << (args.empty() ? "(none)" : args.back());
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(std::count(r.text.begin(), r.text.end(), '\n'), 1) << r.text;
    }
}

TEST(json_text_test, EscapesAndUtf8) {
    EXPECT_EQ(json_string(""), "\"\"");
    EXPECT_EQ(json_string("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(json_string("\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(json_string(std::string("\x01\x1F\x7F", 3)), "\"\\u0001\\u001f\x7F\"");
    EXPECT_EQ(json_string(std::string("a\0b", 3)), "\"a\\u0000b\"");
    // Valid UTF-8 stays as it is: two, three and four bytes.
    EXPECT_EQ(json_string("\xC4\x8C\xE2\x82\xAC\xF0\x9F\x98\x80"),
              "\"\xC4\x8C\xE2\x82\xAC\xF0\x9F\x98\x80\"");
    // Other bytes as the code point of the same number.
    EXPECT_EQ(json_string("\xE8"
                          "ern\xFD"),
              "\"\\u00e8ern\\u00fd\"");                                             // cp1250 text
    EXPECT_EQ(json_string("\xC0\xAF"), "\"\\u00c0\\u00af\"");                       // overlong '/'
    EXPECT_EQ(json_string("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");            // surrogate
    EXPECT_EQ(json_string("\xF4\x90\x80\x80"), "\"\\u00f4\\u0090\\u0080\\u0080\""); // > U+10FFFF
    EXPECT_EQ(json_string("\xE2\x82"), "\"\\u00e2\\u0082\"");                       // cut short
    // Never throws, whatever the bytes.
    for (int b = 0; b < 256; ++b) {
        EXPECT_NO_THROW(json_string(std::string(1, static_cast<char>(b)) + "\xC3"));
    }
    const listed_port usb{"ttyUSB0", {"Acme", "ZEV1", "1234", "abcd", "0042", ""}};
    EXPECT_EQ(ports_json({usb, {"K\xFC", {}}}),
              "[{\"name\":\"ttyUSB0\",\"description\":\"Acme ZEV1, USB 1234:abcd, serial 0042\","
              "\"manufacturer\":\"Acme\",\"product\":\"ZEV1\",\"vid\":\"1234\",\"pid\":\"abcd\","
              "\"serial\":\"0042\",\"location\":\"\"},{\"name\":\"K\\u00fc\",\"description\":\"\","
              "\"manufacturer\":\"\",\"product\":\"\",\"vid\":\"\",\"pid\":\"\",\"serial\":\"\","
              "\"location\":\"\"}]");
    EXPECT_EQ(format_port_list({usb, {"ZEV1-SIM", {}}}, false),
              "ttyUSB0  Acme ZEV1, USB 1234:abcd, serial 0042\nZEV1-SIM\n");
}

TEST(port_choice_test, GivenRememberedOrTheOnlyOne) {
    const std::vector<std::string> one = {"ttyUSB0"};
    const std::vector<std::string> two = {"ttyUSB0", "ttyUSB1"};
    auto present_in = [](const std::vector<std::string>& list) {
        return [list](std::string_view name) {
            return std::find(list.begin(), list.end(), name) != list.end();
        };
    };
    EXPECT_EQ(choose_port("ttyUSB1", "ttyUSB0", two, present_in(two)).name, "ttyUSB1");
    EXPECT_EQ(choose_port(std::nullopt, "ttyUSB1", two, present_in(two)).name, "ttyUSB1");
    // A remembered port that is gone gives way to the only present one.
    EXPECT_EQ(choose_port(std::nullopt, "ttyACM3", one, present_in(one)).name, "ttyUSB0");
    EXPECT_EQ(choose_port(std::nullopt, "", one, present_in(one)).name, "ttyUSB0");

    const auto absent = choose_port("ttyUSB7", "", two, present_in(two));
    EXPECT_EQ(absent.result.status, exit_status::no_port);
    EXPECT_NE(absent.result.message.find("ttyUSB0, ttyUSB1"), std::string::npos);
    const auto many = choose_port(std::nullopt, "", two, present_in(two));
    EXPECT_EQ(many.result.status, exit_status::no_port);
    EXPECT_TRUE(many.name.empty());
    EXPECT_NE(many.result.message.find("--port"), std::string::npos);
    const auto none = choose_port(std::nullopt, "ttyUSB0", {}, present_in({}));
    EXPECT_EQ(none.result.status, exit_status::no_port);
    EXPECT_NE(none.result.message.find("none"), std::string::npos);

    // A port this user may not open is named as such, not as absent: the fix is the
    // dialout group, not another cable.
    const std::vector<std::string> denied = {"ttyS0"};
    const auto refused = choose_port("ttyS0", "", {}, present_in({}), denied);
    EXPECT_EQ(refused.result.status, exit_status::no_port);
    EXPECT_EQ(refused.result.message.find("not present"), std::string::npos);
    EXPECT_NE(refused.result.message.find("no permission to open ttyS0"), std::string::npos);
    EXPECT_NE(refused.result.message.find("dialout"), std::string::npos);
    const auto nothing = choose_port(std::nullopt, "", {}, present_in({}), denied);
    EXPECT_NE(nothing.result.message.find("no permission to open ttyS0"), std::string::npos);
}

TEST(write_fields_test, SecurityFitsAndVerify) {
    EXPECT_EQ(security_to_send("wpa2"), "WPA2");
    EXPECT_EQ(security_to_send("auto"), "AUTO");
    EXPECT_EQ(security_to_send("WPA3"), "WPA3"); // not in the list: as given
    EXPECT_EQ(security_to_send(""), "");

    wifi_settings s{"WPA2", std::string(33, 's'), std::string(64, 'k'), std::string(146, 'e')};
    EXPECT_TRUE(check_fits(s).ok());
    s.key += 'k';
    const auto refused = check_fits(s);
    EXPECT_EQ(refused.status, exit_status::too_long);
    EXPECT_NE(refused.message.find("64"), std::string::npos);

    const wifi_settings sent{"AUTO", "net", "pw", "h,1"};
    EXPECT_EQ(compare_settings(sent, {"", "net", "pw", "h,1"}), ""); // AUTO comes back empty
    EXPECT_EQ(compare_settings(sent, {"AUTO", "net", "pw", "h,1"}), "");
    EXPECT_EQ(compare_settings(sent, {"WPA", "NET", "pw", "h,2"}), "ssid, security, endpoint");
    EXPECT_EQ(compare_settings({"WPA2", "", "", ""}, {"", "", "", ""}), "security");
}

TEST(format_test, PlainLinesNeverBreak) {
    const wifi_settings s{"WPA2", "a\nb", "k", "e,1"};
    EXPECT_EQ(format_settings("ID", s, false),
              "id: ID\nssid: a\\x0Ab\nkey: k\nsecurity: WPA2\nendpoint: e,1\n");
    // Bytes that are no UTF-8 show as their numbers; valid multi-byte characters stay.
    EXPECT_EQ(printable("K\xFC"
                        "che \xC3\xA4 \xFF\xFF \xC3"),
              "K\\xFCche \xC3\xA4 \\xFF\\xFF \\xC3");
    EXPECT_EQ(format_settings("ID", s, true),
              "{\"id\":\"ID\",\"ssid\":\"a\\nb\",\"key\":\"k\",\"security\":\"WPA2\","
              "\"endpoint\":\"e,1\"}\n");
}

// On a clock of the test's own, so that a loaded machine cannot move the deadlines.
TEST(tick_clock_test, AbsoluteDeadlinesWithoutDrift) {
    using namespace std::chrono;
    const tick_clock::clock::time_point t0{};
    tick_clock::clock::time_point now = t0;
    tick_clock clock({[&] { return now; }, [&](tick_clock::clock::time_point t) { now = t; }});
    clock.wait(); // the first tick is due at once
    EXPECT_EQ(now, t0);
    for (int i = 0; i < 30; ++i) {
        clock.wait();
        now += 3ms; // work inside the tick does not add up
    }
    EXPECT_EQ(now - t0, 303ms);

    // A tick that overran two periods runs at once; the missed deadlines are skipped,
    // not made up in a burst, and the next tick keeps the phase.
    now += 25ms;
    clock.wait();
    EXPECT_EQ(now - t0, 328ms);
    clock.wait();
    EXPECT_EQ(now - t0, 330ms);
    clock.wait();
    EXPECT_EQ(now - t0, 340ms);
}

} // namespace
} // namespace zev1::cli

namespace zev1::cli {
namespace {

std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
        text += static_cast<char>(c);
    }
    return text;
}

TEST(progress_bar_test, DrawsTheCorePercentageOnlyOnATerminal) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    progress_bar bar(f, true);
    bar.show_progress("read", 0x4000, true);
    bar.set_remaining(0x4000);       // 0 %: not drawn a second time
    bar.set_remaining(0x4000 - 256); // 2 % (the remaining share is truncated)
    bar.set_remaining(256);          // 99 % before the last block
    EXPECT_EQ(bar.percent(), 99u);
    bar.show_progress("", 1, false);
    const std::string drawn = contents(f);
    EXPECT_NE(drawn.find("] 0 %"), std::string::npos);
    EXPECT_NE(drawn.find("] 2 %"), std::string::npos);
    EXPECT_NE(drawn.find("] 99 %"), std::string::npos);
    EXPECT_EQ(drawn.find('\n'), std::string::npos); // one line, rewritten in place
    EXPECT_EQ(drawn.back(), '\r');                  // and blanked at the end
    std::fclose(f);

    std::FILE* quiet = std::tmpfile();
    ASSERT_NE(quiet, nullptr);
    progress_bar off(quiet, false);
    off.show_progress("read", 100, true);
    off.set_remaining(50);
    off.show_error("Writing to the device");
    EXPECT_TRUE(contents(quiet).empty());
    EXPECT_TRUE(off.take_error());
    EXPECT_FALSE(off.take_error()); // taken once
    std::fclose(quiet);
}

TEST(console_log_test, CountsFramesAndWritesOnlyWhenVerbose) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    progress_bar bar(f, false);
    const std::array<std::uint8_t, 23> frame = {0x28, 0x93, 0x00, 0x17, 100};
    console_log quiet(f, false, bar);
    quiet.add_packet_line(frame, false, "    <P_WIFI>", "");
    quiet.add_packet_line(frame, true, "    <P_WIFI>", "");
    quiet.log_text("wifi settings stored");
    EXPECT_EQ(quiet.frames_sent(100), 1u);
    EXPECT_EQ(quiet.frames_sent(5), 0u);
    EXPECT_EQ(quiet.frames_received(), 1u);
    EXPECT_TRUE(contents(f).empty());

    console_log loud(f, true, bar);
    loud.add_packet_line(frame, true, "    <x>", "");
    loud.log_text("wifi settings stored");
    const std::string text = contents(f);
    EXPECT_NE(text.find("-->"), std::string::npos);
    EXPECT_NE(text.find("wifi settings stored\n"), std::string::npos);
    std::fclose(f);
}

} // namespace
} // namespace zev1::cli
