#pragma once
// The main window's captions in its two languages. Only five captions change with the
// language; the others are the same in both.
#include "link/dropped_frame_view.h"

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

// The notice for WiFi settings that never reached the port, saying why.
QString wifi_not_written(bool german, drop_reason why);

} // namespace zev1
