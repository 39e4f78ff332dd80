#pragma once
// What the main window does, free of any toolkit: the language and its captions, the
// 10 ms tick, the port selector, the four WiFi buttons and the notices. A toolkit window
// creates the controls of main_layout.h, implements main_view, calls FormCreate once
// its controls exist, calls Timer1Timer from its 10 ms timer and forwards the user's
// clicks, list choices, edits and focus changes as main_view.h says.
//
// Beyond the plain behaviour:
//  - a text too long for its field in the settings packet is not cut: the notice names
//    the field and its limit and nothing is sent; nor is a typed letter that the 8-bit
//    code page lacks replaced by another (a best fit, '?'): the notice names the letter.
//    WiFi settings that never reach the port (no port open, the device unplugged, the
//    send queue full) are said not written, with the reason. Notices are in the
//    captions' language;
//  - a read that ended early (Cancel, or the error box after five time-outs) leaves the
//    fields as they were, and the automatic server setting then writes nothing;
//  - a text field still showing what a read put there is written back with the
//    controller's own bytes, so a text that does not survive the trip through the local
//    code page (a Latin-1 SSID on a UTF-8 desktop, an erased controller's 0xFF) reaches
//    the controller unchanged;
//  - the security box never turns a whole entry into a longer one: a text that names an
//    entry whole, ignoring letter case, is that entry ("wpa2" is "WPA2", and "WPA2" stays
//    "WPA2" although "WPA2AES" starts with it); a text that names none is sent as typed;
//  - typed text only suggests (suggestion()): the security box marks the entry the text
//    suggests in its list; the port box suggests nothing, and only an entry taken from
//    its list chooses a port;
//  - after the port list refilled the port box, the box shows the chosen port's entry,
//    or nothing while no port is chosen (the refill empties it).
#include "app/main_layout.h"
#include "app/main_texts.h"
#include "app/main_view.h"
#include "app/text_codec.h"
#include "link/counter_view.h"
#include "link/dropped_frame_view.h"
#include "memory/wifi_settings.h"
#include "serial/port_list_view.h"
#include "session/wifi_session.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class Tlpc1xxx;

class TSDIAppForm final : public counter_view, public dropped_frame_view {
public:
    // Listens to the link for dropped frames until destroyed.
    TSDIAppForm(main_view& view, Tlpc1xxx& app, const text_codec& codec);
    ~TSDIAppForm();
    TSDIAppForm(const TSDIAppForm&) = delete;
    TSDIAppForm& operator=(const TSDIAppForm&) = delete;

    // --- events from the toolkit ---------------------------------------------------------
    // The controls exist: read the language, tick the box, set the captions.
    void FormCreate();
    // One run of the poll loop; ticks > 1: it stands for that many ticks, the ones before
    // it let pass as idle (at most 1 + idle_ticks() as it was after the last run).
    void Timer1Timer(int ticks = 1);
    // The ticks after the last run that have nothing to do: a toolkit may let them pass
    // without a timer event and hand their number on (a timer kept at 10 ms need not).
    int idle_ticks() const;
    // A button or the check box was clicked (the box already shows its new state).
    void clicked(main_control c);
    // The user took entry index of a combo box's list.
    void chosen(main_control c, int index);
    // The user changed a combo box's edit text.
    void edited(main_control c);
    // The focus left a control.
    void left(main_control c);

    // The entry of the security list that text typed into the box suggests: the entry the
    // text names whole (ignoring letter case), else the first that starts with it, else
    // none (an empty text, or any other box). A suggestion only: the text stays as typed.
    static std::optional<std::size_t> suggestion(main_control c, std::string_view text);

    // counter_view: the `test` box.
    void show_counter(std::string_view decimal) override;
    // dropped_frame_view: a WiFi settings frame that was dropped gives a notice.
    void frame_dropped(std::uint8_t type, drop_reason why) override;

    bool german() const { return german_; }
    // The texts the write button would send now.
    wifi_settings settings_from_fields() const;

private:
    // The port selector as the port list sees it: keeps the entries' own bytes, so a
    // choice hands the port layer the very name it listed.
    class port_selector final : public port_list_view {
    public:
        port_selector(main_view& view, const text_codec& codec) : view_(view), codec_(codec) {}
        void clear_items() override;
        void append_item(std::string_view name) override;
        void set_item_index(int index) override;
        const std::string* entry(int index) const;
        // After the port list's turn in a tick: a refilled box shows the chosen entry.
        void show_chosen_after_refill();

    private:
        main_view& view_;
        const text_codec& codec_;
        std::vector<std::string> entries_;
        int chosen_ = -1;       // the entry the port list chose last
        bool refilled_ = false; // cleared and filled again in this tick
    };

    // What a read put into a text field: the controller's bytes and the text shown.
    struct read_text {
        std::string shown;
        std::string bytes;
    };

    void apply_captions();
    void nemecke_textyClick();
    void com_numberChange(int index);
    void btn_config_cti_jerClick();
    void btn_automatic_setClick();
    void btn_nast_serverClick();
    void btn_wifi_writeClick();
    void fill_wifi_fields(const wifi_session::read_outcome& result);
    void write_wifi_settings();
    void show_read_text(main_control c, read_text& read, const std::string& bytes);
    std::string bytes_of(main_control c, const read_text& read) const;
    std::vector<unsendable_text> unsendable_texts() const;

    main_view& view_;
    Tlpc1xxx& app_;
    const text_codec& codec_;
    port_selector ports_;
    bool german_ = true;
    std::string shown_state_ = "...";
    read_text read_ssid_;
    read_text read_key_;
    read_text read_endpoint_;
};

} // namespace zev1
