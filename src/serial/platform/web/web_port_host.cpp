// The boundary between the port object and the page's Web Serial code (web_serial.js):
// calls out through EM_JS, events in through exported C functions.
#include "serial/platform/web/web_port_host.h"

#include <array>
#include <emscripten/emscripten.h>
#include <string_view>
#include <vector>

namespace {

zev1::web_serial* attached = nullptr;

// clang-format off
EM_JS(void, js_port_open, (int id, int connection, int buffer_size), {
    Zev1Serial.open(id, connection, buffer_size);
});
EM_JS(void, js_port_write, (int connection, const std::uint8_t* bytes, int length), {
    Zev1Serial.write(connection, HEAPU8.slice(bytes, bytes + length));
});
EM_JS(void, js_port_signals, (int connection, int dtr, int rts), {
    Zev1Serial.setSignals(connection, dtr !== 0, rts !== 0);
});
EM_JS(void, js_port_close, (int connection), { Zev1Serial.close(connection); });
// clang-format on

} // namespace

namespace zev1 {

void browser_port_host::open(int port_id, int connection) {
    js_port_open(port_id, connection, static_cast<int>(web_serial::read_buffer_size));
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

// why: 0 busy, 1 refused, 2 gone; detail: the browser's message (UTF-8).
EMSCRIPTEN_KEEPALIVE void zev1_port_open_failed(int connection, int why, const char* detail) {
    if (attached == nullptr) {
        return;
    }
    static constexpr std::array<zev1::web_open_failure, 3> kinds = {zev1::web_open_failure::busy,
                                                                    zev1::web_open_failure::refused,
                                                                    zev1::web_open_failure::gone};
    const auto kind =
        why >= 0 && why < 3 ? kinds[static_cast<std::size_t>(why)] : zev1::web_open_failure::busy;
    attached->open_failed(connection, kind, detail != nullptr ? detail : "");
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
