// The main window, the about box and the progress window without a controller: the
// layout tables, the language switch and its setting, the tab order, the port box, the
// shortcuts and the notices in both languages.
#include "app/about.h"
#include "app/main_layout.h"
#include "app/progress_layout.h"
#include "windows/driver.h"
#include "windows/test_area.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zev1::scenario {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;

const std::string endpoint(default_server_endpoint);

std::unique_ptr<program_driver> start(const test_area& area) {
    return start_program({area.settings(), {}});
}

// Every control of a table where the table puts it, labels at least as large as their
// captions.
void expect_layout(program_driver& p, const form_spec& form) {
    const design_box client = p.client_area(form.name);
    EXPECT_EQ(client.width, form.client_width) << form.name;
    EXPECT_EQ(client.height, form.client_height) << form.name;
    for (const control_spec& c : form.controls) {
        const design_box at = p.geometry(c.name);
        EXPECT_EQ(at.left, c.place.left) << c.name;
        EXPECT_EQ(at.top, c.place.top) << c.name;
        if (!auto_sized(c)) {
            EXPECT_EQ(at.width, c.place.width) << c.name;
            EXPECT_EQ(at.height, c.place.height) << c.name;
        }
        if (c.kind == control_kind::label || c.kind == control_kind::button) {
            EXPECT_TRUE(p.text_fits(c.name)) << c.name << " \"" << p.text(c.name) << "\"";
        }
    }
}

TEST(MainWindow, first_start_is_german_and_unticking_is_remembered) {
    test_area area;
    {
        auto p = start(area);
        EXPECT_EQ(p->text("SDIAppForm"), "ZEV1 wifi configurator V1.0");
        EXPECT_TRUE(p->checked("nemecke_texty"));
        EXPECT_EQ(p->text("LbComunication"), "Kommunikation");
        EXPECT_EQ(p->text("btn_config_cti_jer"), "Lesen von ZEV");
        EXPECT_EQ(p->text("btn_automatic_set"), "Automatische server einstellung");
        EXPECT_EQ(p->text("btn_nast_server"), "Server Einstellung auf " + endpoint);
        EXPECT_EQ(p->text("btn_wifi_write"), "Eintragen Wifi Einstellung");
        // The default server endpoint fits the button in the window's own font.
        EXPECT_EQ(p->font_pixels("btn_nast_server"), p->font_pixels("btn_wifi_write"));
        EXPECT_THAT(p->hint("SDIAppForm"), HasSubstr("Strg+T: Terminalfenster"));
        EXPECT_THAT(p->hint("test"), HasSubstr("Empfangene Rahmen"));

        p->click("nemecke_texty");
        EXPECT_FALSE(p->checked("nemecke_texty"));
        EXPECT_EQ(p->text("LbComunication"), "Komunikace");
        EXPECT_EQ(p->text("btn_config_cti_jer"), "Cteni z ZEV");
        EXPECT_EQ(p->text("btn_automatic_set"), "Automatické nastavení serveru");
        EXPECT_EQ(p->text("btn_nast_server"), "Nastavení serveru na " + endpoint);
        EXPECT_EQ(p->text("btn_wifi_write"), "Zápis nastavení wifi");
        EXPECT_EQ(p->font_pixels("btn_nast_server"), p->font_pixels("btn_wifi_write"));
        EXPECT_THAT(p->hint("SDIAppForm"), HasSubstr("Ctrl+T: okno terminálu"));
        EXPECT_THAT(p->hint("test"), HasSubstr("Přijaté rámce"));
        // Captions that do not change with the language.
        EXPECT_EQ(p->text("Label2"), "IP,port ");
        EXPECT_EQ(p->text("nemecke_texty"), "DEUTSCH");
        EXPECT_TRUE(p->text_fits("btn_automatic_set"));
    }
    // Written at exit (lines end as text files do on the system), read at the next start.
    EXPECT_THAT(area.read_settings(), HasSubstr("nemecky=0" + std::string(eol)));
    auto again = start(area);
    EXPECT_FALSE(again->checked("nemecke_texty"));
    EXPECT_EQ(again->text("LbComunication"), "Komunikace");
}

TEST(MainWindow, windows_follow_the_layout_tables) {
    test_area area;
    auto p = start(area);
    expect_layout(*p, main_form_spec);
    expect_layout(*p, progress_form_spec);
    expect_layout(*p, about_form_spec);

    // What the controls hold before the port list has an entry and the first frame came.
    EXPECT_EQ(p->text("test"), "");
    EXPECT_THAT(p->items("wifi_security"),
                ElementsAre("AUTO", "OPEN", "WEP", "WPA", "WPAAES", "WPA2AES", "WPA2TKIP", "WPA2"));
    EXPECT_EQ(p->text("wifi_security"), "AUTO");
    EXPECT_EQ(p->text("Cancel"), "Cancel");
    EXPECT_EQ(p->text("staticky_text_procent"), "%");
    EXPECT_FALSE(p->visible("progress_win"));
    EXPECT_EQ(p->text("ProductName"), "ZEV1 wifi configurator");
    EXPECT_EQ(p->text("Version"), "Version " + application_version());
}

// The kinds of window and the settings file in use (a page has neither window frames nor
// a settings file of its own).
TEST(MainWindow, windows_have_their_kinds_and_name_the_settings_file) {
    test_area area;
    auto p = start(area);
    const window_traits main = p->traits("SDIAppForm");
    EXPECT_FALSE(main.resizable);
    EXPECT_TRUE(main.close_box);
    EXPECT_FALSE(main.tool);
    const window_traits progress = p->traits("progress_win");
    EXPECT_TRUE(progress.tool);
    EXPECT_TRUE(progress.topmost);
    EXPECT_FALSE(progress.close_box);
    EXPECT_FALSE(progress.resizable);

    // The settings file this run writes: its name stays whole at the end of the line.
    const std::string settings = p->text("SettingsFile");
    EXPECT_TRUE(settings.ends_with("zev1-wifi-config.INI")) << settings;
    EXPECT_EQ(p->text("SettingsCaption"), "Einstellungsdatei:");
    EXPECT_EQ(p->text("Comments"), "WiFi-Einstellungen des Heizungsreglers ZEV1");
    // Under the mouse: the shortcuts that no control offers, the whole settings file path.
    EXPECT_THAT(p->hint("SDIAppForm"), AllOf(HasSubstr("+T"), HasSubstr("F1")));
    EXPECT_THAT(p->hint("SettingsFile"), EndsWith("zev1-wifi-config.INI"));
}

// A screen reader names each field by the label before it and the port list by its
// caption, in the window's language, and the frame counter by what it counts.
TEST(MainWindow, screen_reader_names_follow_the_labels) {
    test_area area;
    auto p = start(area);
    const auto trimmed = [](std::string s) { return s.erase(s.find_last_not_of(' ') + 1); };
    for (const std::string_view counter : {"Empfangene Rahmen", "Přijaté rámce"}) {
        for (const label_link& link : main_form_spec.labels) {
            const std::string_view field = main_controls[link.control].name;
            EXPECT_EQ(p->accessible_name(field), trimmed(p->text(main_controls[link.label].name)))
                << field;
        }
        EXPECT_EQ(p->accessible_name("test"), counter);
        p->click("nemecke_texty");
    }
    EXPECT_EQ(p->accessible_name("com_number"), "Kommunikation");
}

TEST(MainWindow, tab_order_follows_the_design_table) {
    test_area area;
    auto p = start(area);
    // The focus starts on the first control of the tab order; one round of the Tab key.
    EXPECT_THAT(p->tab_order("SDIAppForm"),
                ElementsAre("btn_config_cti_jer", "nemecke_texty", "wifi_SSID", "btn_wifi_write",
                            "wifi_key", "wifi_IP", "wifi_security", "test", "com_number",
                            "btn_automatic_set", "btn_nast_server"));
    // The terminal's, from its first control on, through both memos and round again.
    p->shortcut("Ctrl+T");
    ASSERT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    EXPECT_THAT(p->tab_order("log_win"),
                ElementsAre("psat_txt", "psat_hex", "psat_hlavicky", "jen_prijem", "StandardOFF",
                            "NewLog", "log", "txt"));
}

TEST(MainWindow, typed_port_text_chooses_nothing) {
    test_area area;
    auto p = start(area);
    // The first ticks build the port list and the state line: no port chosen, no
    // identification known, two blanks.
    EXPECT_TRUE(p->wait_for([&] { return p->text("stav_portu") == "  "; }, 2000));
    p->type("com_number", "COM77");
    p->leave("com_number");
    p->pause(300);
    EXPECT_EQ(p->value("com_number"), -1);
    EXPECT_EQ(p->text("stav_portu"), "  ");
}

TEST(MainWindow, shortcuts_show_terminal_and_about_box) {
    test_area area;
    auto p = start(area);
    EXPECT_FALSE(p->visible("log_win"));
    EXPECT_FALSE(p->visible("AboutBox"));
    p->shortcut("Ctrl+T");
    EXPECT_TRUE(p->wait_for([&] { return p->visible("log_win"); }, 2000));
    EXPECT_EQ(p->text("log_win"), "Terminal");
    // Ctrl+T brings a minimised terminal back too.
    p->minimise("log_win");
    ASSERT_TRUE(p->wait_for([&] { return p->minimised("log_win"); }, 2000));
    p->shortcut("Ctrl+T");
    EXPECT_TRUE(p->wait_for([&] { return !p->minimised("log_win"); }, 2000));
    p->shortcut("F1");
    EXPECT_TRUE(p->wait_for([&] { return p->visible("AboutBox"); }, 2000));
    EXPECT_EQ(p->text("AboutBox"), "About");
    EXPECT_EQ(p->text("OKButton"), "OK");
    EXPECT_EQ(p->text("SettingsCaption"), "Einstellungsdatei:");
    p->click("OKButton");
    EXPECT_TRUE(p->wait_for([&] { return !p->visible("AboutBox"); }, 2000));
    // Shown again after the switch to Czech, it speaks Czech.
    p->click("nemecke_texty");
    p->shortcut("F1");
    EXPECT_TRUE(p->wait_for([&] { return p->visible("AboutBox"); }, 2000));
    EXPECT_EQ(p->text("SettingsCaption"), "Soubor nastavení:");
    EXPECT_EQ(p->text("Version"), "Verze " + application_version());
    EXPECT_EQ(p->text("Comments"), "Nastavení WiFi regulátoru vytápění ZEV1");
}

// The notices follow the captions' language: a text too long for its field (nothing is
// sent), and settings that reach no port (none is open: the link drops the frame).
TEST(MainWindow, notices_are_in_the_captions_language) {
    test_area area;
    auto p = start(area);
    // The box a click on the write button brings, closed again.
    const auto box_of_write = [&] {
        p->click("btn_wifi_write");
        if (!p->wait_for([&] { return !p->boxes().empty(); }, 2000)) {
            return std::string("(no box)");
        }
        const std::string text = p->boxes().front();
        p->close_box();
        EXPECT_TRUE(p->wait_for([&] { return p->boxes().empty(); }, 2000));
        return text;
    };
    p->type("wifi_SSID", std::string(40, 'x'));
    EXPECT_EQ(box_of_write(),
              "Nichts wurde geschrieben: zu lang für den Regler.\n\nSSID: höchstens 33 Bytes");

    p->click("nemecke_texty");
    p->type("wifi_key", std::string(65, 'k'));
    EXPECT_EQ(box_of_write(), "Nic nebylo zapsáno: příliš dlouhé pro regulátor.\n\n"
                              "SSID: nejvýše 33 bajtů\npassword: nejvýše 64 bajtů");

    p->type("wifi_SSID", "Heizraum");
    p->type("wifi_key", "geheim");
    EXPECT_EQ(box_of_write(), "Nastavení wifi nebylo zapsáno: port je zavřený.");

    p->click("nemecke_texty");
    EXPECT_EQ(box_of_write(),
              "Wifi Einstellung wurde nicht eingetragen: der Port ist geschlossen.");
}

} // namespace
} // namespace zev1::scenario
