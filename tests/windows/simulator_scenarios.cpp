// The whole configurator against zev1-sim: finding and opening the port, reading and
// writing the WiFi settings, the security box, the automatic server setting, the
// progress window with Cancel and time-outs, and the terminal's lines and log file.
#include "link/frame.h"
#include "memory/wifi_settings.h"
#include "windows/driver.h"
#include "windows/simulator.h"
#include "windows/test_area.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zev1::scenario {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int connect_ms = 10000;
// A read takes about 2 s on Linux; under Wine every one-byte read goes through its
// server, about 12 s, and much longer when the machine is busy.
#ifdef _WIN32
constexpr int read_ms = 45000;
#else
constexpr int read_ms = 20000;
#endif
const std::string endpoint(default_server_endpoint);
// A typed "ä" on the wire: one byte of the ANSI code page (1250 and 1252 alike) on
// Windows, UTF-8 on Linux.
#ifdef _WIN32
const std::string a_umlaut = "\xE4";
#else
const std::string a_umlaut = "\xC3\xA4";
#endif

using bytes = std::vector<std::uint8_t>;

// The four texts of a type-100 frame's body (each up to its zero byte).
struct sent_settings {
    std::string security, ssid, key, endpoint;
};

sent_settings body_of(const bytes& frame) {
    auto field = [&](std::size_t offset, std::size_t size) {
        const std::size_t from = std::min(frame.size(), frame_data_offset + offset);
        std::string f(frame.begin() + from, frame.begin() + std::min(frame.size(), from + size));
        return f.substr(0, f.find('\0'));
    };
    return {field(0, 10), field(10, 34), field(44, 65), field(109, 147)};
}

// A scenario with the simulator behind the remembered port and the program started.
class with_simulator : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& options, bool remembered = true) {
        sim = std::make_unique<simulator>(options);
        ASSERT_TRUE(sim->ready()) << "zev1-sim did not start";
        if (remembered) {
            area.write_settings(remembered_port(*sim));
        }
        p = start_program({area.settings(), {sim->port()}});
    }
    bool connected(const std::string& id = "ZEV1-SIM") {
        const std::string expected = sim->port() + " open  " + id;
        if (p->wait_for([&] { return p->text("stav_portu") == expected; }, connect_ms)) {
            return true;
        }
        ADD_FAILURE() << "state line \"" << p->text("stav_portu") << "\", expected \"" << expected
                      << "\"";
        return false;
    }
    bool read_done(const std::string& ssid) {
        if (p->wait_for([&] { return p->text("wifi_SSID") == ssid; }, read_ms)) {
            return true;
        }
        ADD_FAILURE() << "read not done: " << sim->received(5).size() << " requests, state line \""
                      << p->text("stav_portu") << "\", progress window "
                      << (p->visible("progress_win") ? "shown" : "hidden")
                      << ", boxes: " << ::testing::PrintToString(p->boxes());
        return false;
    }
    // Where the port list offers the simulator's port (-1: not listed).
    int list_index() {
        const auto items = p->items("com_number");
        const auto at = std::find(items.begin(), items.end(), sim->port());
        return at == items.end() ? -1 : static_cast<int>(at - items.begin());
    }
    // The settings frames the simulator received, once count of them have arrived.
    std::vector<bytes> writes(std::size_t count, int timeout_ms = 5000) {
        p->wait_for([&] { return sim->received(100).size() >= count; }, timeout_ms);
        return sim->received(100);
    }

    test_area area;
    std::unique_ptr<simulator> sim;
    std::unique_ptr<program_driver> p;
};

TEST_F(with_simulator, remembered_port_is_opened_and_identified) {
    start({"--id", "ZEV1 Kessel 7"});
    ASSERT_TRUE(connected("ZEV1 Kessel 7"));
    // The list holds the port (Wine offers the machine's serial ports too) and shows it
    // as the chosen one.
    ASSERT_GE(list_index(), 0);
    EXPECT_EQ(p->value("com_number"), list_index());
    EXPECT_EQ(p->text("com_number"), sim->port());
    // The counter box shows the received-frame counter.
    ASSERT_TRUE(p->wait_for([&] { return !p->text("test").empty(); }, 2000));
    EXPECT_NO_THROW((void)std::stoi(p->text("test")));
}

TEST_F(with_simulator, port_chosen_from_the_list_is_opened) {
    start({}, false);
    ASSERT_TRUE(p->wait_for([&] { return list_index() >= 0; }, connect_ms));
    p->pause(200);
    EXPECT_EQ(p->text("stav_portu"), "  "); // nothing chosen
    EXPECT_EQ(sim->events("peer-open"), 0U);

    p->choose("com_number", list_index());
    ASSERT_TRUE(connected());
    p->pause(300);
    EXPECT_EQ(sim->events("peer-open"), 1U); // one choice, one opening
    p.reset();                               // the port is remembered at exit
    EXPECT_THAT(area.read_settings(), HasSubstr("com=" + sim->port() + std::string(eol)));
    EXPECT_THAT(area.read_settings(), HasSubstr("open=1"));
}

// Typed text never chooses a port: neither Enter nor Tab makes a port of a listed name,
// in its own letter case or another.
TEST_F(with_simulator, typed_port_names_choose_no_port) {
    start({}, false);
    ASSERT_TRUE(p->wait_for([&] { return list_index() >= 0; }, connect_ms));
    // The refill emptied the box ("com_number" at creation), and no port is chosen.
    EXPECT_EQ(p->text("com_number"), "");
    std::string other_case = sim->port();
    for (char& c : other_case) {
        c = static_cast<char>(std::islower(static_cast<unsigned char>(c)) ? std::toupper(c)
                                                                          : std::tolower(c));
    }
    for (const std::string& typed : {other_case, sim->port()}) {
        p->type("com_number", typed);
        EXPECT_EQ(p->suggested("com_number"), -1) << typed;
        p->press("Enter");
        p->press("Tab");
        p->pause(300);
        EXPECT_EQ(p->value("com_number"), -1) << typed;
        EXPECT_EQ(p->text("stav_portu"), "  ") << typed;
    }
    EXPECT_EQ(sim->events("peer-open"), 0U);
}

// A click on the write button right after typing a security type writes at once, the
// entry the text names: no list opened by the typing takes the click for itself.
TEST_F(with_simulator, typed_security_then_a_click_writes_at_once) {
    start({"--ssid", "Heizraum"});
    ASSERT_TRUE(connected());
    const struct {
        const char* typed;
        int suggested;
        const char* sent;
    } cases[] = {
        {"WPA2", 7, "WPA2"}, {"wpa2", 7, "WPA2"}, {"Wep", 2, "WEP"}, {"wpa2a", 5, "wpa2a"}};
    std::size_t count = 0;
    for (const auto& c : cases) {
        p->type("wifi_security", c.typed);
        EXPECT_EQ(p->suggested("wifi_security"), c.suggested) << c.typed;
        EXPECT_EQ(p->text("wifi_security"), c.typed); // a suggestion changes no text
        p->click_at("btn_wifi_write");
        const auto sent = writes(++count);
        ASSERT_EQ(sent.size(), count) << c.typed;
        EXPECT_EQ(body_of(sent.back()).security, c.sent) << c.typed;
    }
}

TEST_F(with_simulator, read_fills_the_fields_and_write_sends_the_edits) {
    start({"--ssid", "Heizraum", "--key", "geheim 123", "--security", "wpa2", "--endpoint",
           "10.0.0.5,5555"});
    ASSERT_TRUE(connected());
    p->click("btn_config_cti_jer");
    ASSERT_TRUE(read_done("Heizraum"));
    EXPECT_EQ(p->text("wifi_key"), "geheim 123");
    EXPECT_EQ(p->text("wifi_security"), "WPA2");
    EXPECT_EQ(p->text("wifi_IP"), "10.0.0.5,5555");
    // The simulator's lines reach the test a moment after the program has the answers.
    p->wait_for([&] { return sim->received(5).size() >= 64U; }, 2000);
    EXPECT_EQ(sim->received(5).size(), 64U);

    // The server button changes the endpoint field only and sends nothing.
    p->click("btn_nast_server");
    EXPECT_EQ(p->text("wifi_IP"), endpoint);
    EXPECT_EQ(p->text("wifi_SSID"), "Heizraum");
    p->pause(300);
    EXPECT_TRUE(sim->received(100).empty());

    p->type("wifi_SSID", "Wärmepumpe");
    p->type("wifi_key", "neu-456");
    p->type("wifi_security", "WPA2AES");
    p->type("wifi_IP", "server.local,5555");
    p->click("btn_wifi_write");
    const auto sent = writes(1);
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0].size(), 279U);
    const sent_settings s = body_of(sent[0]);
    EXPECT_EQ(s.security, "WPA2AES");
    EXPECT_EQ(s.ssid, "W" + a_umlaut + "rmepumpe");
    EXPECT_EQ(s.key, "neu-456");
    EXPECT_EQ(s.endpoint, "server.local,5555");
    EXPECT_TRUE(p->boxes().empty());
}

// The security box sends what names an entry, and only that: a whole entry typed stays
// that entry (no completion to a longer one), letter case picks the entry, and a text
// that names none goes out as typed.
TEST_F(with_simulator, security_box_sends_the_entry_typed_or_the_text_as_typed) {
    start({"--ssid", "Heizraum"});
    ASSERT_TRUE(connected());
    const struct {
        const char* typed;
        const char* shown;
        const char* sent;
    } cases[] = {{"WPA2", "WPA2", "WPA2"},
                 {"wpa2", "WPA2", "WPA2"},
                 {"Wpa", "WPA", "WPA"},
                 {"WPA3", "WPA3", "WPA3"},
                 {"auto", "AUTO", ""}};
    std::size_t count = 0;
    for (const auto& c : cases) {
        p->type("wifi_security", c.typed);
        p->leave("wifi_security");
        EXPECT_EQ(p->text("wifi_security"), c.shown) << c.typed;
        p->click("btn_wifi_write");
        const auto sent = writes(++count);
        ASSERT_EQ(sent.size(), count) << c.typed;
        EXPECT_EQ(body_of(sent.back()).security, c.sent) << c.typed;
    }
}

TEST_F(with_simulator, unknown_or_empty_security_shows_auto) {
    start({"--ssid", "Dachboden"}); // security stored empty
    ASSERT_TRUE(connected());
    p->type("wifi_security", "WEP");
    p->click("btn_config_cti_jer");
    ASSERT_TRUE(read_done("Dachboden"));
    EXPECT_EQ(p->text("wifi_security"), "AUTO");
    EXPECT_EQ(p->text("wifi_key"), "");
}

TEST_F(with_simulator, automatic_setting_writes_the_default_endpoint) {
    start({"--ssid", "Heizraum", "--key", "geheim", "--security", "WEP", "--endpoint",
           "old.example,5555"});
    ASSERT_TRUE(connected());
    p->click("btn_automatic_set");
    const auto sent = writes(1, read_ms);
    p->pause(200);
    EXPECT_EQ(sim->received(5).size(), 64U);
    ASSERT_EQ(sim->received(100).size(), 1U);
    EXPECT_EQ(sent[0].size(), 279U);
    const sent_settings s = body_of(sent[0]);
    EXPECT_EQ(s.endpoint, endpoint);
    EXPECT_EQ(s.ssid, "Heizraum");
    EXPECT_EQ(s.key, "geheim");
    EXPECT_EQ(s.security, "WEP");
    EXPECT_EQ(p->text("wifi_IP"), endpoint);
}

// A controller holding a Latin-1 SSID (not valid UTF-8) and an erased password (0xFF):
// the automatic setting and a write that edits another field send those bytes as read.
TEST_F(with_simulator, texts_read_are_written_back_byte_for_byte) {
    std::string memory(0x5400, '\xFF');
    const std::string ssid = "K\xFC"
                             "che";
    auto put = [&](std::size_t address, const std::string& text) {
        memory.replace(address, text.size() + 1, text + '\0');
    };
    put(0x530B, ssid);
    put(0x536D, "WPA2");
    put(0x5377, "old.example,5555");
    const auto state = area.dir() / "state.bin";
    write_file(state, memory);
    start({"--state", simulator::native_path(state)});
    ASSERT_TRUE(connected());

    p->click("btn_automatic_set");
    auto sent = writes(1, read_ms);
    ASSERT_EQ(sent.size(), 1U);
    sent_settings s = body_of(sent[0]);
    EXPECT_EQ(s.ssid, ssid);
    EXPECT_EQ(s.key, std::string(64, '\xFF'));
    EXPECT_EQ(s.security, "WPA2");
    EXPECT_EQ(s.endpoint, endpoint);

    p->type("wifi_key", "neu-456");
    p->click("btn_wifi_write");
    sent = writes(2);
    ASSERT_EQ(sent.size(), 2U);
    s = body_of(sent[1]);
    EXPECT_EQ(s.ssid, ssid);
    EXPECT_EQ(s.key, "neu-456");
}

TEST_F(with_simulator, progress_moves_and_cancel_ends_the_read_quietly) {
    start({"--ssid", "Heizraum", "--delay", "40"});
    ASSERT_TRUE(connected());
    p->click("btn_config_cti_jer");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("progress_win"); }, 2000));
    ASSERT_TRUE(p->wait_for([&] { return p->value("Bar") >= 5; }, read_ms));
    // The main window keeps the keys: a Space or Enter never reaches Cancel.
    EXPECT_EQ(p->active_window(), "SDIAppForm");
    EXPECT_EQ(p->text("progress_win"), "Progress");
    // The label shows the bar's position (read again should a tick move both between the
    // two reads, as it can where the program runs beside the driver).
    EXPECT_TRUE(
        p->wait_for([&] { return p->text("Procenta") == std::to_string(p->value("Bar")); }, 2000))
        << p->text("Procenta") << " " << p->value("Bar");
    p->click("Cancel");
    ASSERT_TRUE(p->wait_for([&] { return !p->visible("progress_win"); }, 5000));
    p->pause(300);
    EXPECT_TRUE(p->boxes().empty());
    EXPECT_LT(sim->received(5).size(), 64U);
    // A read that did not reach its end leaves the fields alone.
    EXPECT_EQ(p->text("wifi_SSID"), "");

    // The next read runs to its end and fills them.
    p->click("btn_config_cti_jer");
    ASSERT_TRUE(read_done("Heizraum"));
    EXPECT_FALSE(p->visible("progress_win"));
    EXPECT_TRUE(p->boxes().empty());
}

// The cable pulled in the middle of an answer and plugged back a second later: the read
// finishes by itself with the settings, and no error box comes.
TEST_F(with_simulator, cable_pulled_in_the_middle_of_an_answer_is_survived) {
    start({"--ssid", "Heizraum", "--endpoint", "10.0.0.5,5555", "--cut", "6 20 150 unplug 1000"});
    ASSERT_TRUE(connected());
    p->click("btn_config_cti_jer");
    ASSERT_TRUE(p->wait_for([&] { return p->text("wifi_SSID") == "Heizraum"; }, 2 * read_ms));
    EXPECT_EQ(p->text("wifi_IP"), "10.0.0.5,5555");
    EXPECT_TRUE(p->boxes().empty());
    EXPECT_EQ(sim->events("cut"), 1U);
}

TEST_F(with_simulator, five_timeouts_raise_one_error_box_and_the_link_stays_alive) {
    start({"--wrong-address"}); // read answers never match
    ASSERT_TRUE(connected());
    p->click("btn_config_cti_jer");
    ASSERT_TRUE(p->wait_for([&] { return !p->boxes().empty(); }, 15000));
    EXPECT_FALSE(p->visible("progress_win"));
    EXPECT_EQ(p->boxes(), std::vector<std::string>{"Writing to the device"});
    EXPECT_EQ(sim->received(5).size(), 5U);

    // While the box is open the poll loop goes on: keep-alives reach the controller and
    // the link stays connected.
    const std::size_t before = sim->received(1).size() + sim->received(3).size();
    p->pause(1600);
    EXPECT_EQ(p->boxes().size(), 1U);
    const std::size_t after = sim->received(1).size() + sim->received(3).size();
    EXPECT_GE(after, before + 2) << "no keep-alives while the error box was open";
    EXPECT_THAT(p->text("stav_portu"), StartsWith(sim->port() + " open"));
    EXPECT_EQ(sim->received(5).size(), 5U);
    EXPECT_EQ(p->text("wifi_SSID"), "");
    p->close_box();
    EXPECT_TRUE(p->wait_for([&] { return p->boxes().empty(); }, 2000));
}

TEST_F(with_simulator, terminal_shows_frames_and_a_started_log_receives_text_lines) {
    start({});
    ASSERT_TRUE(connected());
    // Default options: received frames only, name and a blank.
    EXPECT_THAT(p->text("log"), HasSubstr("-->     <P_ECHO_A> "));
    EXPECT_THAT(p->text("log"), ::testing::Not(HasSubstr("<-- ")));

    {
        const current_directory cwd(area.dir());
        EXPECT_EQ(p->text("NewLog"), "START Log");
        p->click("NewLog");
        EXPECT_EQ(p->text("NewLog"), "New Log");
    }
    sim->command("say Kessel bereit");
    ASSERT_TRUE(p->wait_for(
        [&] { return p->text("txt").find("Kessel bereit") != std::string::npos; }, 3000));
    EXPECT_THAT(p->text("txt"), HasSubstr("07.12.2026 23:54:24     Kessel bereit"));
    EXPECT_THAT(p->text("log"), HasSubstr("-->     <p_text>  Kessel bereit"));
    // Lines reach the file at once, as text lines of the system.
    EXPECT_THAT(file_text(area.dir() / "2026-12-07-23-54-24.log"),
                HasSubstr("07.12.2026 23:54:24    Kessel bereit" + std::string(eol)));

    // A reader who scrolled the text view back keeps his place while lines arrive; at its
    // last line the view follows them.
    p->shortcut("Ctrl+T");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    const auto shown = [&](const std::string& text) {
        return p->wait_for([&] { return p->text("txt").find(text) != std::string::npos; }, 3000);
    };
    for (int i = 1; i <= 40; ++i) {
        sim->command("say line " + std::to_string(i));
        ASSERT_TRUE(shown("line " + std::to_string(i)));
    }
    EXPECT_GT(p->first_visible_line("txt"), 10);
    p->scroll_to_line("txt", 2);
    sim->command("say one more");
    ASSERT_TRUE(shown("one more"));
    EXPECT_EQ(p->first_visible_line("txt"), 2);
}

// Letting idle ticks pass moves no time counted in ticks. With a controller that answers
// at once, one that also sends a text after each keep-alive, and a silent one, the
// keep-alives come as many ticks apart as with every tick run: the program's tick count,
// sampled whenever the simulator reports a keep-alive. The two ways take turns, so a
// change in the machine's load meets both alike, and each is judged by its second
// shortest gap: a slow port (Wine's reads a byte at a time through its server) only ever
// lengthens a gap, while a frame taken late because of the idle ticks lengthens them all.
TEST_F(with_simulator, idle_ticks_keep_the_keep_alive_spacing) {
    start({});
    ASSERT_TRUE(connected());
    const auto keep_alives = [&] { return sim->received(1).size() + sim->received(3).size(); };
    const auto second_shortest = [](std::vector<long long> gaps) {
        std::sort(gaps.begin(), gaps.end());
        return gaps.size() < 2 ? -1LL : gaps[1];
    };
    for (const std::string controller : {"answers", "texts", "silent"}) {
        if (controller == "silent") {
            sim->command("silent on");
        }
        // A gap counts for the way in force since the keep-alive before it: the one after
        // a switch began its wait for the answer in the other way.
        std::array<std::vector<long long>, 2> gaps; // every tick run, idle ticks let pass
        bool let_pass = true;
        long long from = -1;
        std::size_t seen = keep_alives();
        for (int i = 0; i < 22 && p->wait_for([&] { return keep_alives() > seen; }, 3000); ++i) {
            const long long at = p->ticks();
            seen = keep_alives();
            if (controller == "texts") {
                sim->command("say hello");
            }
            if (i % 2 == 1) {
                from = at;
                continue;
            }
            if (from >= 0) {
                gaps[let_pass ? 1 : 0].push_back(at - from);
            }
            let_pass = !let_pass;
            p->let_idle_ticks_pass(let_pass);
        }
        const long long every_tick = second_shortest(gaps[0]);
        const long long idle = second_shortest(gaps[1]);
        ASSERT_GT(every_tick, 45) << controller;
        ASSERT_GT(idle, 45) << controller;
        // The texts follow the scenario's own reaction to each keep-alive, which moves by
        // a few ticks from one keep-alive to the next.
        EXPECT_LE(std::abs(idle - every_tick), controller == "texts" ? 6 : 3)
            << controller << ": " << every_tick << " ticks apart with every tick run, " << idle
            << " with idle ticks let pass (second shortest of " << gaps[0].size() << " and "
            << gaps[1].size() << ")";
    }
}

} // namespace
} // namespace zev1::scenario
