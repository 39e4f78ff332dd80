// What only the browser configurator does, against zev1-sim behind the stand-in for
// navigator.serial: the granted port opened by itself with the line settings and modem
// lines the controller needs, the port kept through the watchdog's closes, line errors and
// the device unplugged in the middle of a read, the terminal's log kept in the browser,
// and a browser without Web Serial.
#include "link/frame.h"
#include "serial/web_serial.h"
#include "web/web_driver.h"
#include "windows/simulator.h"
#include "windows/test_area.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zev1::scenario {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

constexpr int connect_ms = 10000;
constexpr int read_ms = 20000;

class web_page : public ::testing::Test {
protected:
    // The simulator, remembered as the port of the last visit.
    void start_sim(const std::vector<std::string>& options = {}) {
        sim = std::make_unique<simulator>(options);
        ASSERT_TRUE(sim->ready()) << "zev1-sim did not start";
        area.write_settings(remembered_port(*sim));
    }
    void start(const std::vector<std::string>& options, int signals_delay_ms = 0) {
        start_sim(options);
        p = start_web_program({.settings = area.settings(),
                               .ports = {sim->port()},
                               .signals_delay_ms = signals_delay_ms});
    }
    bool connected() {
        const std::string expected = sim->port() + " open  ZEV1-SIM";
        if (p->wait_for([&] { return p->text("stav_portu") == expected; }, connect_ms)) {
            return true;
        }
        ADD_FAILURE() << "state line \"" << p->text("stav_portu") << "\", expected \"" << expected
                      << "\"";
        return false;
    }
    // Whether the control's text holds part within timeout_ms.
    bool shows(std::string_view name, const std::string& part, int timeout_ms) {
        return p->wait_for([&] { return p->text(name).find(part) != std::string::npos; },
                           timeout_ms);
    }
    // Lets the simulator send a text line and waits until the terminal shows it.
    bool said(const std::string& line) {
        sim->command("say " + line);
        return shows("txt", line, 3000);
    }
    // The log file's text as the page keeps it in the browser's storage, its pieces in
    // their order (NAME, NAME#1, NAME#2 ...).
    std::string stored_log(const std::string& name) {
        const json stored = p->storage();
        std::string text;
        for (int piece = 0;; ++piece) {
            const std::string key =
                "zev1-log:" + name + (piece == 0 ? "" : "#" + std::to_string(piece));
            if (!stored.contains(key)) {
                return text;
            }
            text += stored[key].get<std::string>();
        }
    }
    // The stand-in's record of one kind of call.
    std::vector<json> calls(const std::string& kind) {
        std::vector<json> out;
        for (const json& c : p->serial_trace()) {
            if (c.value("call", "") == kind) {
                out.push_back(c);
            }
        }
        return out;
    }

    test_area area;
    std::unique_ptr<simulator> sim;
    std::unique_ptr<web_program> p;
};

// The port remembered from the last visit is opened without a click, at 115200 8N1
// without flow control with room for several answers, and DTR and RTS (the controller's
// reset and boot-mode inputs) are low before the first byte is sent, also when the
// browser takes its time to set them.
TEST_F(web_page, remembered_port_opens_by_itself_with_dtr_and_rts_low) {
    start({}, 400);
    ASSERT_TRUE(connected());
    // One open, or more where a busy machine delayed the first answer past the link's
    // half second and it opened again: every one with the same line settings.
    const auto opens = calls("open");
    ASSERT_FALSE(opens.empty());
    for (const auto& open : opens) {
        EXPECT_EQ(open["options"], json({{"baudRate", 115200},
                                         {"dataBits", 8},
                                         {"parity", "none"},
                                         {"stopBits", 1},
                                         {"flowControl", "none"},
                                         {"bufferSize", web_serial::read_buffer_size}}));
    }
    const json trace = p->serial_trace();
    int signals_at = -1;
    int set_at = -1;
    int first_write = -1;
    for (int i = 0; i < static_cast<int>(trace.size()); ++i) {
        const std::string call = trace[i].value("call", "");
        if (call == "setSignals" && signals_at < 0) {
            signals_at = i;
            EXPECT_EQ(trace[i]["signals"],
                      json({{"dataTerminalReady", false}, {"requestToSend", false}}));
        }
        if (call == "signalsSet" && set_at < 0) {
            set_at = i;
        }
        if (call == "write" && first_write < 0) {
            first_write = i;
        }
    }
    ASSERT_GE(signals_at, 0) << "DTR and RTS were never lowered";
    ASSERT_GE(first_write, 0);
    EXPECT_TRUE(set_at >= 0 && set_at < first_write) << "written before DTR and RTS were low";
}

// A silent controller, closed by the watchdog again and again: the browser's port stays
// open all the while (each open pulses the reset lines), and the link reads the
// controller again as soon as it answers.
TEST_F(web_page, silent_controller_keeps_its_port_open_through_the_watchdog) {
    start({});
    ASSERT_TRUE(connected());
    sim->command("silent on");
    // The watchdog has closed the link once the controller's name is gone from the line.
    ASSERT_TRUE(p->wait_for(
        [&] { return p->text("stav_portu").find("ZEV1-SIM") == std::string::npos; }, 5000));
    const std::size_t echoes = sim->received(P_ECHO).size();
    p->pause(3500); // two watchdog periods more
    EXPECT_GE(sim->received(P_ECHO).size(), echoes + 4) << "the link reopened and kept asking";
    EXPECT_EQ(calls("open").size(), 1U);
    EXPECT_TRUE(calls("close").empty());
    EXPECT_EQ(sim->events("peer-open"), 1U);
    sim->command("silent off");
    ASSERT_TRUE(connected());
}

// Line errors in the middle of a read, each garbling an answer, and a request the port
// could not write: the port stays open, the read repeats what was lost and ends with the
// controller's settings, and each error is named once in the text view.
TEST_F(web_page, line_errors_during_a_read_keep_the_connection) {
    start({"--ssid", "Heizraum", "--delay", "30"});
    ASSERT_TRUE(connected());
    for (const std::string error :
         {"BreakError", "FramingError", "ParityError", "BufferOverrunError", "UnknownError"}) {
        p->type("wifi_SSID", "");
        p->click("btn_config_cti_jer");
        ASSERT_TRUE(p->wait_for([&] { return p->value("Bar") >= 5; }, read_ms)) << error;
        ASSERT_TRUE(error == "UnknownError" ? p->write_error(error) : p->line_error(error, 40))
            << error;
        ASSERT_TRUE(p->wait_for([&] { return !p->visible("progress_win"); }, read_ms)) << error;
        EXPECT_TRUE(p->boxes().empty()) << error;
        EXPECT_EQ(p->text("wifi_SSID"), "Heizraum") << error;
        const std::string said = p->text("txt");
        const auto at = said.find("(" + error + ")");
        EXPECT_NE(at, std::string::npos) << said;
        EXPECT_EQ(said.find("(" + error + ")", at + 1), std::string::npos) << said;
    }
    EXPECT_EQ(calls("open").size(), 1U);
    EXPECT_TRUE(calls("close").empty());
}

// A port the browser no longer grants is not opened, although the settings name it.
TEST_F(web_page, remembered_port_no_longer_granted_stays_closed) {
    start_sim();
    p = start_web_program({.settings = area.settings(),
                           .ports = {sim->port()},
                           .granted = false,
                           .web_serial = true});
    p->pause(1500);
    EXPECT_TRUE(calls("open").empty());
    EXPECT_EQ(sim->events("peer-open"), 0U);
}

// A first visit: no port granted yet. The page asks for one; a cancelled chooser is
// said in the window's language, a port picked in it joins the list and opens once
// chosen there.
TEST_F(web_page, port_granted_in_the_browsers_chooser_is_listed_and_opened) {
    sim = std::make_unique<simulator>(std::vector<std::string>{});
    ASSERT_TRUE(sim->ready());
    p = start_web_program({.settings = area.settings(),
                           .ports = {sim->port()},
                           .granted = false,
                           .web_serial = true,
                           .cancel_chooser = true});
    EXPECT_TRUE(p->items("com_number").empty());
    p->click("add_port");
    EXPECT_TRUE(shows("page", "Auswahl des Browsers wurde abgebrochen", 3000)) << p->text("page");
    p.reset();

    p = start_web_program({.settings = area.settings(),
                           .ports = {sim->port()},
                           .granted = false,
                           .web_serial = true,
                           .cancel_chooser = false});
    p->click("add_port");
    ASSERT_TRUE(p->wait_for([&] { return p->items("com_number").size() == 1; }, 3000));
    EXPECT_EQ(p->items("com_number")[0], sim->port());
    p->choose("com_number", 0);
    ASSERT_TRUE(connected());
}

// The controller unplugged in the middle of a read: the read ends with the transfer's
// error box or quietly, the page keeps running, and once it is plugged in again the
// port is opened by itself and a read runs to its end.
TEST_F(web_page, unplug_during_a_read_is_survived) {
    start({"--ssid", "Heizraum", "--delay", "30"});
    ASSERT_TRUE(connected());
    p->click("btn_config_cti_jer");
    ASSERT_TRUE(p->wait_for([&] { return p->value("Bar") >= 5; }, read_ms));
    sim->command("unplug");
    ASSERT_TRUE(
        p->wait_for([&] { return p->text("stav_portu").find(" open") == std::string::npos; }, 5000))
        << p->text("stav_portu");
    ASSERT_TRUE(p->wait_for([&] { return !p->visible("progress_win"); }, 15000));
    while (!p->boxes().empty()) {
        p->close_box();
        p->pause(100);
    }
    EXPECT_EQ(p->text("wifi_SSID"), "");

    sim->command("replug");
    ASSERT_TRUE(connected());
    p->click("btn_config_cti_jer");
    EXPECT_TRUE(p->wait_for([&] { return p->text("wifi_SSID") == "Heizraum"; }, read_ms));
    EXPECT_TRUE(p->boxes().empty());
}

// Every window of the page as a technician sees it passes the WCAG 2.1 A and AA audit:
// the main window, the terminal, the about box, the progress window during a read and a
// message box.
TEST_F(web_page, every_window_passes_the_accessibility_audit) {
    start({"--delay", "30"});
    ASSERT_TRUE(connected());
    EXPECT_THAT(p->audit(), ::testing::IsEmpty()) << "main window";
    p->shortcut("Ctrl+T");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    EXPECT_THAT(p->audit(), ::testing::IsEmpty()) << "terminal";
    p->shortcut("F1");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("AboutBox"); }, 2000));
    EXPECT_THAT(p->audit(), ::testing::IsEmpty()) << "about box";
    p->click("OKButton");
    p->click("btn_config_cti_jer");
    ASSERT_TRUE(p->wait_for([&] { return p->value("Bar") >= 5; }, read_ms));
    EXPECT_THAT(p->audit(), ::testing::IsEmpty()) << "progress window";
    ASSERT_TRUE(p->wait_for([&] { return !p->visible("progress_win"); }, read_ms));
    p->type("wifi_SSID", std::string(40, 'x'));
    p->click("btn_wifi_write");
    ASSERT_TRUE(p->wait_for([&] { return !p->boxes().empty(); }, 2000));
    EXPECT_THAT(p->audit(), ::testing::IsEmpty()) << "message box";
}

// START Log keeps every text line in the browser's storage as it arrives, under the
// dated name of the log file: each line appended to what was kept (in pieces of a
// bounded size, here made small so the lines spread over several).
TEST_F(web_page, started_log_keeps_text_lines_in_the_browser) {
    start({});
    ASSERT_TRUE(connected());
    EXPECT_THAT(p->text("log"), HasSubstr("-->     <P_ECHO_A> "));
    p->shortcut("Ctrl+T");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    p->evaluate("Zev1Page.logPieceChars = 100");
    p->click("NewLog");
    EXPECT_EQ(p->text("NewLog"), "New Log");
    std::string lines;
    for (int i = 1; i <= 5; ++i) {
        const std::string line = "Kessel bereit " + std::to_string(i);
        ASSERT_TRUE(said(line));
        lines += "07.12.2026 23:54:24    " + line + "\n";
    }
    EXPECT_THAT(p->text("txt"), HasSubstr("07.12.2026 23:54:24     Kessel bereit 1"));
    const std::string kept = stored_log("2026-12-07-23-54-24.log");
    EXPECT_THAT(kept, HasSubstr(lines));
    EXPECT_TRUE(p->storage().contains("zev1-log:2026-12-07-23-54-24.log#2")) << kept;
}

// The remembered port that cannot be opened is named with the reason the browser gives:
// held by another program or tab (NetworkError), no longer allowed (SecurityError), or
// not there any more (NotFoundError).
TEST_F(web_page, port_busy_refused_or_gone_is_said) {
    start_sim();
    for (const auto& [error, said] :
         {std::pair{"NetworkError", "lässt sich nicht öffnen: ein anderes Programm"},
          std::pair{"SecurityError", "erlaubt dieser Seite den Port"},
          std::pair{"NotFoundError", "ist nicht mehr angeschlossen"}}) {
        p = start_web_program(
            {.settings = area.settings(), .ports = {sim->port()}, .open_error = error});
        EXPECT_TRUE(shows("page", said, connect_ms)) << error << ": " << p->text("page");
        EXPECT_THAT(p->text("page"), HasSubstr(sim->port())) << error;
        EXPECT_EQ(sim->events("peer-open"), 0U);
        p.reset();
    }
}

// START Log's "Save Log" hands the browser the log file to keep: its dated name, its lines.
// Once the browser's storage is full the page says so, and Save Log still hands out every
// line, those kept before and those the storage refused.
TEST_F(web_page, save_log_downloads_the_dated_log_file_also_with_the_storage_full) {
    start({});
    ASSERT_TRUE(connected());
    p->shortcut("Ctrl+T");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    p->click("NewLog");
    std::string lines;
    const auto say = [&](const std::string& line) {
        lines += "07.12.2026 23:54:24    " + line + "\n";
        return said(line);
    };
    ASSERT_TRUE(say("Kessel bereit"));
    ASSERT_TRUE(say("Brenner an"));
    json saved = p->download("save_log");
    EXPECT_EQ(saved.value("name", ""), "2026-12-07-23-54-24.log");
    EXPECT_THAT(saved.value("text", ""), HasSubstr(lines));

    // Fills the storage to the last character.
    p->evaluate(R"((() => {
        for (let size = 1 << 22, i = 0; size >= 1; size >>= 1) {
            try { for (;;) localStorage.setItem('filler' + i++, 'x'.repeat(size)); } catch (e) {}
        }
    })())");
    ASSERT_TRUE(say("Brenner aus"));
    ASSERT_TRUE(say("Kessel aus"));
    EXPECT_TRUE(shows("page", "Speicher des Browsers ist voll", 2000)) << p->text("page");
    saved = p->download("save_log");
    EXPECT_THAT(saved.value("text", ""), HasSubstr(lines));
}

// Lines that arrive while the terminal window is hidden: it opens at its last lines, as
// the desktop's terminal does, not at the top.
TEST_F(web_page, hidden_terminal_opens_at_its_last_lines) {
    start({});
    ASSERT_TRUE(connected());
    for (int i = 1; i <= 40; ++i) {
        sim->command("say line " + std::to_string(i));
    }
    ASSERT_TRUE(shows("txt", "line 40", 5000));
    p->shortcut("Ctrl+T");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    EXPECT_GT(p->first_visible_line("txt"), 10);
    EXPECT_GT(p->first_visible_line("log"), 10);
}

// A phone's screen (390 x 844): every control of the main window, the terminal and the
// page's own buttons within its width, nothing to scroll sideways.
TEST_F(web_page, phone_width_keeps_every_control_on_screen) {
    start({});
    ASSERT_TRUE(connected());
    EXPECT_EQ(p->beyond_right(390, 844), json::array());
    p->shortcut("Ctrl+T");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    EXPECT_EQ(p->beyond_right(390, 844), json::array());
}

// The page kept by its service worker, and installable as an app: loaded again with its
// files out of reach, it reads the controller. A newer build is fetched in the background and said
// in the window's language; the next start takes it, the one after it is taken at once with the
// notice's button. Script and style sheet always come from one build, and each build's
// cache goes once a newer one is taken.
TEST_F(web_page, works_without_network_and_takes_newer_builds) {
    start({"--ssid", "Heizraum"});
    ASSERT_TRUE(connected());
    const auto caches = [&] { return p->evaluate("caches.keys()"); };
    ASSERT_TRUE(p->wait_for(
        [&] { return p->evaluate("!!navigator.serviceWorker.controller") == true; }, 15000));
    const json first = caches();
    ASSERT_EQ(first.size(), 1U) << first.dump();
    // The tick's worker too: a hidden tab without network keeps its tick period.
    EXPECT_EQ(p->evaluate("caches.match('tick_worker.js').then((r) => !!r)"), true);
    EXPECT_EQ(p->installability_errors(), json::array());

    p->serve("offline");
    p->reload(false);
    ASSERT_TRUE(connected());
    p->click("btn_config_cti_jer");
    EXPECT_TRUE(p->wait_for([&] { return p->text("wifi_SSID") == "Heizraum"; }, read_ms));

    // The build whose script and style sheet run, once its windows are there.
    const auto build = [&] {
        return p->evaluate("document.querySelector('[data-window=main]') && "
                           "[globalThis.zev1Build ?? '', getComputedStyle("
                           "document.documentElement).getPropertyValue('--zev1-build')]");
    };
    const auto notice = [&] {
        return shows("page", "Eine neue Version des Programms ist geladen", 15000);
    };
    p->serve("second");
    p->reload(false);
    ASSERT_TRUE(notice()) << p->text("page");
    EXPECT_EQ(build(), json({"", ""}));
    EXPECT_EQ(caches().size(), 2U);
    p->reload(true);
    EXPECT_TRUE(p->wait_for(
        [&] {
            return build() == json({"second", "\"second\""});
        },
        30000))
        << build();
    ASSERT_TRUE(connected()) << p->text("page");
    json now = caches();
    ASSERT_EQ(now.size(), 1U) << now.dump();
    EXPECT_NE(now, first);

    p->serve("third");
    p->reload(false);
    ASSERT_TRUE(notice()) << p->text("page");
    p->click("update_now");
    EXPECT_TRUE(p->wait_for(
        [&] {
            return build() == json({"third", "\"third\""});
        },
        30000))
        << build() << p->text("page");
    ASSERT_TRUE(connected());
    now = caches();
    ASSERT_EQ(now.size(), 1U) << now.dump();
    EXPECT_THAT(now[0].get<std::string>(), HasSubstr("third-"));
}

// The page runs under its Content-Security-Policy with nothing refused while it connects,
// reads and shows its windows (and an inline script is refused: the policy is in force).
// What the controller sends stays text: HTML and control characters in its
// identification and its text lines are shown as they came, no element made of them.
TEST_F(web_page, runs_under_its_policy_and_shows_controller_texts_as_text) {
    const std::string id = "<b>Kessel</b>&amp;\x07\x1b[1m";
    start({"--id", id, "--ssid", "Heizraum"});
    const std::string state = sim->port() + " open  " + id;
    ASSERT_TRUE(p->wait_for([&] { return p->text("stav_portu") == state; }, connect_ms))
        << p->text("stav_portu");
    const std::string line = "<img src=x onerror=\"document.title='x'\">\x01\x7f<script>1</script>";
    ASSERT_TRUE(said(line));
    p->click("btn_config_cti_jer");
    EXPECT_TRUE(p->wait_for([&] { return p->text("wifi_SSID") == "Heizraum"; }, read_ms));
    p->shortcut("Ctrl+T");
    p->press("F1");
    EXPECT_TRUE(p->wait_for([&] { return p->visible("AboutBox"); }, 2000));
    EXPECT_EQ(p->evaluate("document.querySelectorAll('#zev1-desk b, #zev1-desk img, "
                          "#zev1-desk script').length"),
              0);
    EXPECT_EQ(p->evaluate("window.__zev1Refused"), json::array());
    p->evaluate("document.head.appendChild(document.createElement('script')).textContent = "
                "'window.inlineRan = true'");
    EXPECT_TRUE(p->wait_for([&] { return p->evaluate("window.__zev1Refused.length") == 1; }, 2000));
    EXPECT_EQ(p->evaluate("window.inlineRan ?? false"), false);
}

// A browser without Web Serial (Safari, Firefox) is told which browsers work; the page
// still shows its windows.
TEST(WebBrowser, without_web_serial_names_the_browsers_that_work) {
    test_area area;
    auto p = start_web_program(
        {.settings = area.settings(), .ports = {}, .granted = false, .web_serial = false});
    const std::string said = p->text("page");
    EXPECT_THAT(said, HasSubstr("Chrome")) << said;
    EXPECT_THAT(said, HasSubstr("Edge")) << said;
    EXPECT_TRUE(p->visible("SDIAppForm"));
}

// A page served over plain http from anything but this computer's own name gets no serial
// ports from the browser: it says so and how to open it instead, not "use another browser".
TEST(WebBrowser, plain_http_says_to_use_https) {
    test_area area;
    auto p = start_web_program(
        {.settings = area.settings(), .ports = {}, .granted = false, .insecure = true});
    const std::string said = p->text("page");
    EXPECT_THAT(said, HasSubstr("unsichere Verbindung (http)")) << said;
    EXPECT_THAT(said, ::testing::Not(HasSubstr("Safari"))) << said;
}

} // namespace
} // namespace zev1::scenario
