#include "app/main_form.h"

#include "app/application.h"
#include "app/main_texts.h"

#include <algorithm>

namespace zev1 {

namespace {

constexpr std::string_view settings_section = "main";
constexpr std::string_view settings_key = "nemecky";

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool starts_ignoring_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

// The letters of a window text (UTF-8) that do not come back unchanged from the trip
// through the code page; empty when the whole text does.
std::string lost_letters(const text_codec& codec, std::string_view text) {
    if (codec.to_window(codec.to_local(text)) == text) {
        return {};
    }
    std::string lost;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) {
            ++n;
        }
        const std::string_view letter = text.substr(i, n);
        if (codec.to_window(codec.to_local(letter)) != letter &&
            lost.find(letter) == std::string::npos) {
            lost += letter;
        }
        i += n;
    }
    return lost.empty() ? std::string(text) : lost;
}

} // namespace

// --- port_selector -----------------------------------------------------------------------

void TSDIAppForm::port_selector::clear_items() {
    entries_.clear();
    refilled_ = true;
    view_.clear_items(row(main_control::com_number));
}

void TSDIAppForm::port_selector::append_item(std::string_view name) {
    entries_.emplace_back(name);
    view_.append_item(row(main_control::com_number), codec_.to_window(name));
}

void TSDIAppForm::port_selector::set_item_index(int index) {
    chosen_ = index;
    view_.set_item_index(row(main_control::com_number), index);
}

void TSDIAppForm::port_selector::show_chosen_after_refill() {
    if (refilled_ && entry(chosen_) != nullptr) {
        view_.set_item_index(row(main_control::com_number), chosen_);
    }
    refilled_ = false;
}

const std::string* TSDIAppForm::port_selector::entry(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) {
        return nullptr;
    }
    return &entries_[static_cast<std::size_t>(index)];
}

// --- the form ----------------------------------------------------------------------------

TSDIAppForm::TSDIAppForm(main_view& view, Tlpc1xxx& app, const text_codec& codec)
    : view_(view), app_(app), codec_(codec), ports_(view, codec) {
    app_.session().set_dropped_frame_view(this);
}

TSDIAppForm::~TSDIAppForm() {
    app_.session().set_dropped_frame_view(nullptr);
}

void TSDIAppForm::FormCreate() {
    german_ = app_.ReadBool(settings_section, settings_key, true);
    view_.set_checked(row(main_control::nemecke_texty), german_);
    apply_captions();
}

void TSDIAppForm::apply_captions() {
    const main_captions c = captions_for(german_);
    view_.set_text(row(main_control::LbComunication), c.communication);
    view_.set_text(row(main_control::btn_config_cti_jer), c.read);
    view_.set_text(row(main_control::btn_automatic_set), c.automatic);
    view_.set_text(row(main_control::btn_nast_server), c.server);
    view_.set_text(row(main_control::btn_wifi_write), c.write);
    view_.set_window_hint(c.window_hint);
    view_.set_hint(row(main_control::test), c.counter_hint);
    view_.set_accessible_name(row(main_control::test), c.counter_name);
}

void TSDIAppForm::Timer1Timer(int ticks) {
    app_.fill_port_list(ports_);
    ports_.show_chosen_after_refill();
    std::string state = codec_.to_window(app_.port_state_line());
    if (state != shown_state_) {
        view_.set_text(row(main_control::stav_portu), state);
        shown_state_ = std::move(state);
    }
    if (const auto result = app_.tick(ticks)) {
        fill_wifi_fields(*result);
    }
}

int TSDIAppForm::idle_ticks() const {
    return app_.idle_ticks();
}

void TSDIAppForm::clicked(main_control c) {
    switch (c) {
    case main_control::nemecke_texty:
        nemecke_textyClick();
        break;
    case main_control::btn_config_cti_jer:
        btn_config_cti_jerClick();
        break;
    case main_control::btn_automatic_set:
        btn_automatic_setClick();
        break;
    case main_control::btn_nast_server:
        btn_nast_serverClick();
        break;
    case main_control::btn_wifi_write:
        btn_wifi_writeClick();
        break;
    default:
        break;
    }
    // What a click started goes out on the next tick, not after the ticks let pass.
    app_.schedule().arrived();
}

void TSDIAppForm::chosen(main_control c, int index) {
    if (c == main_control::com_number) {
        com_numberChange(index);
    }
    app_.schedule().arrived();
}

void TSDIAppForm::edited(main_control c) {
    if (c == main_control::wifi_security) {
        const auto entry = suggestion(c, view_.text(row(c)));
        view_.show_suggestion(row(c), entry ? static_cast<int>(*entry) : -1);
    }
}

void TSDIAppForm::left(main_control c) {
    if (c != main_control::wifi_security) {
        return;
    }
    // A text that names an entry whole is that entry: show it as the list spells it.
    const std::string text = view_.text(row(c));
    if (const auto entry = security_entry(text); entry && text != wifi_security_types[*entry]) {
        view_.set_item_index(row(c), static_cast<int>(*entry));
    }
}

std::optional<std::size_t> TSDIAppForm::suggestion(main_control c, std::string_view text) {
    // The port box suggests nothing: a port is chosen from its list only.
    if (c != main_control::wifi_security || text.empty()) {
        return std::nullopt;
    }
    if (const auto whole = security_entry(text)) {
        return whole;
    }
    const std::span<const std::string_view> items = main_controls[row(c)].items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (starts_ignoring_case(items[i], text)) {
            return i;
        }
    }
    return std::nullopt;
}

void TSDIAppForm::show_counter(std::string_view decimal) {
    view_.set_text(row(main_control::test), codec_.to_window(decimal));
}

void TSDIAppForm::nemecke_textyClick() {
    german_ = view_.checked(row(main_control::nemecke_texty));
    app_.WriteBool(settings_section, settings_key, german_);
    apply_captions();
}

void TSDIAppForm::com_numberChange(int index) {
    // Only an entry of the list chooses a port; typed text chooses nothing.
    if (const std::string* name = ports_.entry(index)) {
        app_.select_port(*name);
    }
}

void TSDIAppForm::btn_config_cti_jerClick() {
    app_.start_wifi_read(false);
}

void TSDIAppForm::btn_automatic_setClick() {
    app_.start_wifi_read(true);
}

void TSDIAppForm::btn_nast_serverClick() {
    view_.set_text(row(main_control::wifi_IP), codec_.to_window(default_server_endpoint));
}

void TSDIAppForm::btn_wifi_writeClick() {
    write_wifi_settings();
}

void TSDIAppForm::fill_wifi_fields(const wifi_session::read_outcome& result) {
    if (!result.complete()) {
        return; // cancelled or aborted: the image does not hold the controller's texts
    }
    show_read_text(main_control::wifi_SSID, read_ssid_, result.settings.ssid);
    show_read_text(main_control::wifi_key, read_key_, result.settings.key);
    show_read_text(main_control::wifi_IP, read_endpoint_, result.settings.endpoint);
    view_.set_item_index(row(main_control::wifi_security), static_cast<int>(result.security_index));
    if (result.automatic) {
        view_.set_text(row(main_control::wifi_IP), codec_.to_window(default_server_endpoint));
        write_wifi_settings();
    }
}

void TSDIAppForm::show_read_text(main_control c, read_text& read, const std::string& bytes) {
    view_.set_text(row(c), codec_.to_window(bytes));
    read.shown = view_.text(row(c)); // as the control holds it
    read.bytes = bytes;
}

std::string TSDIAppForm::bytes_of(main_control c, const read_text& read) const {
    const std::string now = view_.text(row(c));
    return now == read.shown ? read.bytes : codec_.to_local(now);
}

wifi_settings TSDIAppForm::settings_from_fields() const {
    wifi_settings s;
    s.security =
        zev1::security_to_send(codec_.to_local(view_.text(row(main_control::wifi_security))));
    s.ssid = bytes_of(main_control::wifi_SSID, read_ssid_);
    s.key = bytes_of(main_control::wifi_key, read_key_);
    s.endpoint = bytes_of(main_control::wifi_IP, read_endpoint_);
    return s;
}

std::vector<unsendable_text> TSDIAppForm::unsendable_texts() const {
    std::vector<unsendable_text> found;
    const auto check = [&](std::string_view field, main_control c, const read_text* read) {
        const std::string now = view_.text(row(c));
        if (read != nullptr && now == read->shown) {
            return; // the controller's own bytes go back
        }
        if (std::string lost = lost_letters(codec_, now); !lost.empty()) {
            found.push_back({field, std::move(lost)});
        }
    };
    if (!security_entry(view_.text(row(main_control::wifi_security)))) {
        check("security type", main_control::wifi_security, nullptr);
    }
    check("SSID", main_control::wifi_SSID, &read_ssid_);
    check("password", main_control::wifi_key, &read_key_);
    check("endpoint", main_control::wifi_IP, &read_endpoint_);
    return found;
}

void TSDIAppForm::write_wifi_settings() {
    if (const auto lost = unsendable_texts(); !lost.empty()) {
        view_.show_notice(unsendable_notice(german_, lost));
        return;
    }
    // A frame that does not reach the port comes back through frame_dropped.
    const auto verdict = app_.send_settings(settings_from_fields());
    if (!verdict.too_long.empty()) {
        view_.show_notice(too_long_notice(german_, verdict.too_long));
    }
}

void TSDIAppForm::frame_dropped(std::uint8_t type, drop_reason why) {
    if (type == wifi_packet_type) {
        view_.show_notice(wifi_not_written(german_, why));
    }
}

} // namespace zev1
