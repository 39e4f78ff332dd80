#pragma once
// Everything the link needs of the serial port object: the byte pipe, the port list
// and the connection. `serial` implements it over a real port; link unit tests use a
// fake. All calls are made on the GUI (or command-line) thread.
#include "serial/arrival_wake.h"
#include "serial/byte_queue.h"
#include "serial/port_list_view.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class link_port : public boot_port {
public:
    // Whether the named port can be opened right now.
    virtual bool port_present(std::string_view name) = 0;
    virtual void clear_port_list() = 0;
    virtual void scan_ports() = 0;
    virtual void fill_port_list(port_list_view& view) = 0;
    virtual void select_port(std::string_view name) = 0;
    // Opens the selected port while it is closed, closes it while it is open. A
    // connection that opens starts with an empty receive ring: nothing received on an
    // earlier connection is left to be taken for part of a frame on this one.
    virtual void open_close(std::uint32_t baud) = 0;
    virtual void close_port() = 0;
    // Closes the connection as close_port() does for everyone who asks (is_open() false,
    // the state text " close"), but may keep the device itself open while it is still
    // there, discarding what it receives, so that the next open_close() of the same
    // port opens no device: on Linux every open raises DTR and RTS. Ports that cannot
    // do that close.
    virtual void hold_port() { close_port(); }
    virtual std::string state_text() const = 0;
    virtual bool is_open() const = 0;
    virtual bool port_selected() const = 0;
    virtual bool list_built() const = 0;
    // A connection was opened and has ended by itself (the device was unplugged); it
    // counts as open until close_port().
    virtual bool port_gone() const = 0;
    // Bytes refused because the receive ring was full, since construction.
    virtual std::uint64_t overrun_count() const = 0;
    // Lines for the text view that the port list gathered since the last call, each
    // said once: the ports found with what identifies them, the ports this user may not
    // open, a chosen port in use by another program.
    virtual std::vector<std::string> take_port_notes() = 0;
    // Told whenever bytes arrive or the connection changes by itself (null: nobody). Once
    // this returns, the object told before is not called any more.
    virtual void set_arrival_wake(arrival_wake* wake) { (void)wake; }

protected:
    ~link_port() = default;
};

} // namespace zev1
