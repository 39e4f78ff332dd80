#include "app/main_texts.h"

#include "app/main_layout.h"

#include <string_view>

namespace zev1 {

namespace {

// The label beside a field, so a notice names the field as the window does.
std::string_view label_of(std::string_view field) {
    if (field == "SSID") {
        return main_controls[row(main_control::wifi_ssid_txt)].initial;
    }
    if (field == "password") {
        return main_controls[row(main_control::Label1)].initial;
    }
    if (field == "security type") {
        return main_controls[row(main_control::Label3)].initial;
    }
    if (field == "endpoint") {
        return "IP,port";
    }
    return field;
}

} // namespace

main_captions captions_for(bool german) {
    const std::string endpoint(default_server_endpoint);
    if (german) {
        return {"Kommunikation",
                "Lesen von ZEV",
                "Automatische server einstellung",
                "Server Einstellung auf " + endpoint,
                "Eintragen Wifi Einstellung",
                "Strg+T: Terminalfenster\nF1: Info",
                "Empfangene Rahmen (Strg+T: Terminalfenster)",
                "Empfangene Rahmen"};
    }
    return {"Komunikace",
            "Cteni z ZEV",
            "Automatické nastavení serveru",
            "Nastavení serveru na " + endpoint,
            "Zápis nastavení wifi",
            "Ctrl+T: okno terminálu\nF1: o programu",
            "Přijaté rámce (Ctrl+T: okno terminálu)",
            "Přijaté rámce"};
}

std::string too_long_notice(bool german, std::span<const wifi_cut> cuts) {
    std::string text = german ? "Nichts wurde geschrieben: zu lang für den Regler.\n"
                              : "Nic nebylo zapsáno: příliš dlouhé pro regulátor.\n";
    for (const wifi_cut& cut : cuts) {
        text += "\n";
        text += label_of(cut.field);
        text += german ? ": höchstens " : ": nejvýše ";
        text += std::to_string(cut.limit);
        text += german ? " Bytes" : " bajtů";
    }
    return text;
}

std::string unsendable_notice(bool german, std::span<const unsendable_text> texts) {
    std::string text =
        german ? "Nichts wurde geschrieben: diese Zeichen kann der Regler nicht erhalten.\n"
               : "Nic nebylo zapsáno: tyto znaky regulátor nemůže přijmout.\n";
    for (const unsendable_text& t : texts) {
        text += "\n";
        text += label_of(t.field);
        text += ": ";
        text += t.letters;
    }
    return text;
}

std::string wifi_not_written(bool german, drop_reason why) {
    if (german) {
        const char* reason = why == drop_reason::port_gone    ? "das Gerät wurde getrennt"
                             : why == drop_reason::queue_full ? "die Sendewarteschlange ist voll"
                                                              : "der Port ist geschlossen";
        return std::string("Wifi Einstellung wurde nicht eingetragen: ") + reason + ".";
    }
    const char* reason = why == drop_reason::port_gone    ? "zařízení bylo odpojeno"
                         : why == drop_reason::queue_full ? "fronta k odeslání je plná"
                                                          : "port je zavřený";
    return std::string("Nastavení wifi nebylo zapsáno: ") + reason + ".";
}

update_notice update_ready_notice(bool german) {
    if (german) {
        return {"Eine neue Version des Programms ist geladen. Sie gilt ab dem nächsten Start, "
                "oder sofort mit „Jetzt aktualisieren“.",
                "Jetzt aktualisieren"};
    }
    return {"Nová verze programu je stažena. Platí od příštího spuštění, nebo hned tlačítkem "
            "„Aktualizovat nyní“.",
            "Aktualizovat nyní"};
}

} // namespace zev1
