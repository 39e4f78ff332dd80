#pragma once
// Everything the link needs of the serial port object: the byte pipe, the port list
// and the connection. `serial` implements it over a real port; link unit tests use a
// fake. All calls are made on the GUI (or command-line) thread.
#include "link/rx_queue.h"
#include "serial/port_list_view.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zev1 {

class link_port : public byte_port {
public:
    // 1 when the named port can be opened right now, otherwise 0.
    virtual std::uint8_t port_present(std::string_view name) = 0;
    virtual void clear_port_list() = 0;
    virtual void scan_ports() = 0;
    virtual void fill_port_list(port_list_view& view) = 0;
    virtual void select_port(std::string_view name) = 0;
    virtual void open_close(std::uint32_t baud) = 0;
    virtual void close_port() = 0;
    virtual std::string state_text() const = 0;
    virtual bool is_open() const = 0;
    virtual bool port_selected() const = 0;
    virtual bool list_built() const = 0;
    virtual void set_dtr() = 0;
    virtual void clear_dtr() = 0;
    virtual void set_rts() = 0;
    virtual void clear_rts() = 0;
    // Bytes refused because the receive ring was full, since construction.
    virtual std::uint64_t overrun_count() const = 0;
    // The port that exists but could not be opened for lack of permission, once per
    // name (empty when none): the link reports it in the text view.
    virtual std::string take_permission_problem() = 0;

protected:
    ~link_port() = default;
};

} // namespace zev1
