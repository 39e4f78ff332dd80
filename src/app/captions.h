#pragma once
// The main window's captions in its two languages. Only five captions change with the
// language; the others are the same in both.
#include <QString>

namespace zev1 {

struct main_captions {
    QString communication; // LbComunication
    QString read;          // btn_config_cti_jer
    QString automatic;     // btn_automatic_set
    QString server;        // btn_nast_server (ends with the default endpoint)
    QString write;         // btn_wifi_write
};

main_captions captions_for(bool german);

} // namespace zev1
