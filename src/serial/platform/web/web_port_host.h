#pragma once
// The browser's side of the web port object: each call goes to the page's Web Serial code
// (web_serial.js), and that code reports back through the zev1_port_* functions exported
// here, which forward to the port object registered with attach_web_port().
#include "serial/web_serial.h"

#include <string_view>

namespace zev1 {

class browser_port_host final : public web_port_host {
public:
    void open(int port_id, int connection, const line_format& line) override;
    void write(int connection, std::span<const std::uint8_t> block) override;
    void set_signals(int connection, bool dtr, bool rts) override;
    void close(int connection) override;
};

// The port object the page's events go to (null: none, events are ignored).
void attach_web_port(web_serial* port);

// Why an open failed, from the name of the browser's error (a DOMException's name:
// "NetworkError", "SecurityError"...): the page hands over the name, this decides.
web_open_failure open_failure_of(std::string_view error);

// The failure's name as the page's messages know it ("busy", "refused", "gone").
std::string_view open_failure_name(web_open_failure why);

} // namespace zev1
