#pragma once
// The simulator's serial port: the master side of a pseudo-terminal pair whose slave,
// set to raw 115200 8N1, is reachable through a symbolic link that the tool opens.
#include "serial/platform/posix/unique_fd.h"
#include "transmitter.h"

#include <string>

namespace zev1::sim {

class pty_port final : public tx_sink {
public:
    pty_port() = default;
    pty_port(const pty_port&) = delete;
    pty_port& operator=(const pty_port&) = delete;
    ~pty_port() { close(); }

    // Opens a new pair and points link at its slave, replacing a stale symbolic link of
    // an earlier run but never another kind of file. Creates the link's folder.
    bool open(const std::string& link, std::string& error);
    // Closes the master (the tool's end then sees a hang-up) and removes the link if it
    // still points at this pair's slave.
    void close();

    bool is_open() const { return master_.valid(); }
    // Non-blocking write to the master; full when the pseudo-terminal buffer is full.
    result write(std::span<const std::uint8_t> bytes) override;
    int master() const { return master_.get(); }
    const std::string& slave_path() const { return slave_path_; }
    const std::string& link() const { return link_; }

private:
    posix::unique_fd master_;
    std::string slave_path_;
    std::string link_;
};

} // namespace zev1::sim
