// The main window's form: which security entry a text names, what the list search
// suggests, and texts the code page cannot carry.
#include "app/application.h"
#include "app/main_form.h"
#include "forms/fake_views.h"
#include "support/fake_link_port.h"
#include "support/temp_folder.h"

#include <filesystem>
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

// A code page of ASCII and Latin-1 only (as 1252 is for these letters): what it lacks
// comes back as '?'.
class latin1_codec final : public text_codec {
public:
    std::string to_window(std::string_view local) const override {
        std::string out;
        for (const char c : local) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out += c;
            } else {
                out += static_cast<char>(0xC0 | (b >> 6));
                out += static_cast<char>(0x80 | (b & 0x3F));
            }
        }
        return out;
    }
    std::string to_local(std::string_view window) const override {
        std::string out;
        for (std::size_t i = 0; i < window.size(); ++i) {
            const auto b = static_cast<unsigned char>(window[i]);
            if (b < 0x80) {
                out += window[i];
            } else if ((b == 0xC2 || b == 0xC3) && i + 1 < window.size()) {
                out += static_cast<char>(((b & 0x03) << 6) | (window[++i] & 0x3F));
            } else {
                out += '?';
                while (i + 1 < window.size() && (window[i + 1] & 0xC0) == 0x80) {
                    ++i;
                }
            }
        }
        return out;
    }
};

// A typed letter that the code page lacks is not replaced on the wire by another: nothing
// is sent and the notice names it; a text the code page holds goes on to the port.
// A main form over a fake window and port, its settings file in a folder of its own.
struct form_rig {
    test::temp_folder area{"zev1-forms-main"}; // removed after the settings file is written
    fake_link_port port;
    Tlpc1xxx app{settings_place(area.path() / "zev1-wifi-config.INI"), port};
    fake_main_window view;
    const latin1_codec codec;
    TSDIAppForm form{view, app, codec};
    form_rig() { form.FormCreate(); }
};

// Typed text marks the entry it suggests and stays as typed; leaving the box turns a text
// that names an entry whole into that entry, and any other text stays what was typed.
TEST(MainForm, typed_security_text_suggests_and_only_a_whole_name_becomes_the_entry) {
    form_rig rig;
    const auto security = row(main_control::wifi_security);
    rig.view.texts[security] = "wpa2a";
    rig.form.edited(main_control::wifi_security);
    EXPECT_EQ(rig.view.suggestions[security], 5);
    EXPECT_EQ(rig.view.texts[security], "wpa2a");
    rig.form.left(main_control::wifi_security);
    EXPECT_EQ(rig.view.texts[security], "wpa2a");

    rig.view.texts[security] = "wpa2";
    rig.form.edited(main_control::wifi_security);
    EXPECT_EQ(rig.view.texts[security], "wpa2");
    rig.form.left(main_control::wifi_security);
    EXPECT_EQ(rig.view.texts[security], "WPA2");
}

TEST(MainForm, a_letter_the_code_page_lacks_is_named_and_nothing_is_sent) {
    form_rig rig;
    auto& view = rig.view;
    auto& form = rig.form;

    view.texts[row(main_control::wifi_SSID)] = "Kočka Wärme";
    view.texts[row(main_control::wifi_key)] = "tajné€";
    view.texts[row(main_control::wifi_security)] = "AUTO";
    form.clicked(main_control::btn_wifi_write);
    ASSERT_EQ(view.notices.size(), 1U);
    EXPECT_EQ(view.notices[0], "Nichts wurde geschrieben: diese Zeichen kann der Regler nicht "
                               "erhalten.\n\nSSID: č\npassword: €");

    view.texts[row(main_control::wifi_SSID)] = "Wärme";
    view.texts[row(main_control::wifi_key)] = "tajné";
    form.clicked(main_control::btn_wifi_write);
    ASSERT_EQ(view.notices.size(), 2U);
    EXPECT_EQ(view.notices[1], "Wifi Einstellung wurde nicht eingetragen: der Port ist "
                               "geschlossen.");
}

// Settings that never reach the port are said not written, with the reason that kept
// them back, all in the window's language: no port open, the controller unplugged, the
// send queue full behind a port that takes nothing.
TEST(MainForm, the_not_written_notice_names_each_reason_in_the_windows_language) {
    struct expected {
        bool german;
        const char* closed;
        const char* gone;
        const char* full;
    };
    for (const expected& e :
         {expected{true, "Wifi Einstellung wurde nicht eingetragen: der Port ist geschlossen.",
                   "Wifi Einstellung wurde nicht eingetragen: das Gerät wurde getrennt.",
                   "Wifi Einstellung wurde nicht eingetragen: die Sendewarteschlange ist voll."},
          expected{false, "Nastavení wifi nebylo zapsáno: port je zavřený.",
                   "Nastavení wifi nebylo zapsáno: zařízení bylo odpojeno.",
                   "Nastavení wifi nebylo zapsáno: fronta k odeslání je plná."}}) {
        SCOPED_TRACE(e.german ? "German" : "Czech");
        test::temp_folder area{"zev1-forms-drop"};
        fake_link_port port;
        port.present.insert("COM5");
        Tlpc1xxx app(settings_place(area.path() / "zev1-wifi-config.INI"), port);
        app.WriteString("com", "com", "COM5");
        app.WriteBool("main", "nemecky", e.german);
        fake_main_window view;
        const same_bytes_codec codec;
        TSDIAppForm form(view, app, codec);
        form.FormCreate();
        view.texts[row(main_control::wifi_SSID)] = "net";

        form.clicked(main_control::btn_wifi_write); // before the first tick opens the port
        ASSERT_EQ(view.notices.size(), 1U);
        EXPECT_EQ(view.notices.back(), e.closed);

        for (int t = 0; t < 5 && !port.open(); ++t) {
            form.Timer1Timer();
        }
        ASSERT_TRUE(port.open());
        port.bytes.refuse_sends(true);
        for (std::size_t i = 0; i <= komunikace::send_queue_capacity; ++i) {
            form.clicked(main_control::btn_wifi_write);
        }
        ASSERT_EQ(view.notices.size(), 2U); // the oldest of a full queue
        EXPECT_EQ(view.notices.back(), e.full);

        port.unplug("COM5");
        form.clicked(main_control::btn_wifi_write);
        ASSERT_GE(view.notices.size(), 3U);
        EXPECT_EQ(view.notices.back(), e.gone);
    }
}

} // namespace
} // namespace zev1
