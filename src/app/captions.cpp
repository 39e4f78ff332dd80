#include "app/captions.h"

#include "app/local_text.h"
#include "memory/wifi_settings.h"

namespace zev1 {

main_captions captions_for(bool german) {
    const QString endpoint = from_local(default_server_endpoint);
    if (german) {
        return {
            QStringLiteral("Kommunikation"),
            QStringLiteral("Lesen von ZEV"),
            QStringLiteral("Automatische server einstellung"),
            QStringLiteral("Server Einstellung auf ") + endpoint,
            QStringLiteral("Eintragen Wifi Einstellung"),
        };
    }
    return {
        QStringLiteral("Komunikace"),
        QStringLiteral("Cteni z ZEV"),
        QString::fromUtf8("Automatické nastavení serveru"),
        QString::fromUtf8("Nastavení serveru na ") + endpoint,
        QString::fromUtf8("Zápis nastavení wifi"),
    };
}

QString wifi_not_written(bool german, drop_reason why) {
    if (german) {
        const char* reason = why == drop_reason::port_gone    ? "das Gerät wurde getrennt"
                             : why == drop_reason::queue_full ? "die Sendewarteschlange ist voll"
                                                              : "der Port ist geschlossen";
        return QString::fromUtf8("Wifi Einstellung wurde nicht eingetragen: %1.")
            .arg(QString::fromUtf8(reason));
    }
    const char* reason = why == drop_reason::port_gone    ? "zařízení bylo odpojeno"
                         : why == drop_reason::queue_full ? "fronta k odeslání je plná"
                                                          : "port je zavřený";
    return QString::fromUtf8("Nastavení wifi nebylo zapsáno: %1.").arg(QString::fromUtf8(reason));
}

} // namespace zev1
