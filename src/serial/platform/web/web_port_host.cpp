// The boundary between the port object and the page's Web Serial code (web_serial.js):
// calls out through EM_JS, events in through exported C functions.
#include "serial/platform/web/web_port_host.h"

#include <array>
#include <emscripten/emscripten.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

zev1::web_serial* attached = nullptr;

// clang-format off
EM_JS(void, js_port_open, (int id, int connection, const char* options), {
    Zev1Serial.open(id, connection, JSON.parse(UTF8ToString(options)));
});
EM_JS(void, js_port_write, (int connection, const std::uint8_t* bytes, int length), {
    Zev1Serial.write(connection, HEAPU8.slice(bytes, bytes + length));
});
EM_JS(void, js_port_signals, (int connection, int dtr, int rts), {
    Zev1Serial.setSignals(connection, dtr !== 0, rts !== 0);
});
EM_JS(void, js_port_close, (int connection), { Zev1Serial.close(connection); });
// clang-format on

// The Web Serial API's open options (SerialOptions) for these line settings.
std::string serial_options(const zev1::line_format& line) {
    static constexpr std::array<std::string_view, 3> parities = {"none", "odd", "even"};
    return "{\"baudRate\":" + std::to_string(line.baud) +
           ",\"dataBits\":" + std::to_string(line.data_bits) + ",\"parity\":\"" +
           std::string(parities[static_cast<std::size_t>(line.parity)]) +
           "\",\"stopBits\":" + std::to_string(line.stop_bits) + ",\"flowControl\":\"" +
           (line.hardware_flow ? "hardware" : "none") +
           "\",\"bufferSize\":" + std::to_string(zev1::web_serial::read_buffer_size) + "}";
}

} // namespace

namespace zev1 {

void browser_port_host::open(int port_id, int connection, const line_format& line) {
    js_port_open(port_id, connection, serial_options(line).c_str());
}

void browser_port_host::write(int connection, std::span<const std::uint8_t> block) {
    js_port_write(connection, block.data(), static_cast<int>(block.size()));
}

void browser_port_host::set_signals(int connection, bool dtr, bool rts) {
    js_port_signals(connection, dtr ? 1 : 0, rts ? 1 : 0);
}

void browser_port_host::close(int connection) {
    js_port_close(connection);
}

void attach_web_port(web_serial* port) {
    attached = port;
}

web_open_failure open_failure_of(std::string_view error) {
    if (error == "SecurityError" || error == "NotAllowedError") {
        return web_open_failure::refused;
    }
    if (error == "NotFoundError") {
        return web_open_failure::gone;
    }
    // NetworkError: the system could not open it (another program or tab holds it).
    return web_open_failure::busy;
}

std::string_view open_failure_name(web_open_failure why) {
    switch (why) {
    case web_open_failure::busy:
        return "busy";
    case web_open_failure::refused:
        return "refused";
    case web_open_failure::gone:
        return "gone";
    }
    return "busy";
}

} // namespace zev1

extern "C" {

// The ports the page may use: count triples (id, USB vendor id, USB product id), -1 for
// an id the browser does not know.
EMSCRIPTEN_KEEPALIVE void zev1_port_list(const int* triples, int count) {
    if (attached == nullptr || count < 0) {
        return;
    }
    std::vector<zev1::web_port_info> ports;
    for (int i = 0; i < count; ++i) {
        ports.push_back({triples[3 * i], triples[3 * i + 1], triples[3 * i + 2]});
    }
    attached->set_ports(ports);
    attached->event_handled();
}

EMSCRIPTEN_KEEPALIVE void zev1_port_opened(int connection) {
    if (attached != nullptr) {
        attached->opened(connection);
        attached->event_handled();
    }
}

// error: the name of the browser's error; detail: its message (both UTF-8).
EMSCRIPTEN_KEEPALIVE void zev1_port_open_failed(int connection, const char* error,
                                                const char* detail) {
    if (attached == nullptr) {
        return;
    }
    attached->open_failed(connection, zev1::open_failure_of(error != nullptr ? error : ""),
                          detail != nullptr ? detail : "");
    attached->event_handled();
}

EMSCRIPTEN_KEEPALIVE void zev1_port_received(int connection, const std::uint8_t* bytes,
                                             int length) {
    if (attached != nullptr && length > 0) {
        attached->received(connection, {bytes, static_cast<std::size_t>(length)});
        attached->event_handled();
    }
}

EMSCRIPTEN_KEEPALIVE void zev1_port_written(int connection) {
    if (attached != nullptr) {
        attached->written(connection);
        attached->event_handled();
    }
}

// The reader (or the writer) failed with the browser's error of this name: 1 when the
// connection goes on with the port's new stream, 0 when it has ended.
EMSCRIPTEN_KEEPALIVE int zev1_port_read_failed(int connection, const char* error) {
    if (attached == nullptr) {
        return 0;
    }
    const bool goes_on = attached->read_failed(connection, error != nullptr ? error : "");
    attached->event_handled();
    return goes_on ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int zev1_port_write_failed(int connection, const char* error) {
    if (attached == nullptr) {
        return 0;
    }
    const bool goes_on = attached->write_failed(connection, error != nullptr ? error : "");
    attached->event_handled();
    return goes_on ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void zev1_port_ended(int connection) {
    if (attached != nullptr) {
        attached->connection_ended(connection);
        attached->event_handled();
    }
}

} // extern "C"
