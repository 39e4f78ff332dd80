#pragma once
// Told of every frame that the link could not hand to the port: the configurator's main
// window says so when the frame was the WiFi settings (type 100).
#include <cstdint>
#include <string_view>

namespace zev1 {

enum class drop_reason : std::uint8_t {
    port_closed, // no port is open, or the link closed it with the frame still queued
    port_gone,   // the connection ended by itself (the device was unplugged)
    queue_full,  // the send queue was full and the frame was its oldest
};

// "port closed", "port gone", "send queue full".
std::string_view drop_reason_text(drop_reason why);

class dropped_frame_view {
public:
    virtual void frame_dropped(std::uint8_t type, drop_reason why) = 0;

protected:
    ~dropped_frame_view() = default;
};

} // namespace zev1
