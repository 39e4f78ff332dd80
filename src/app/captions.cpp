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

} // namespace zev1
