#pragma once
// The application object: the settings file (it is a Tini_file, so its destruction
// writes the file) and the program's modules, the link and the transfer sequencer with
// the device memory image, through which the windows reach everything. Qt-free.
//
// Construction order: the settings store, the relays for the windows, the link, the
// sequencer. Destruction runs the other way, so the file is written last, after the
// modules that write into it are gone. The serial port is owned by the caller and must
// outlive this object.
#include "app/view_relays.h"
#include "link/komunikace.h"
#include "memory/flash.h"
#include "memory/wifi_settings.h"
#include "serial/link_port.h"
#include "settings/ini_file.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zev1 {

class Tlpc1xxx final : public Tini_file {
public:
    static constexpr std::int32_t baud_rate = 115200;

    Tlpc1xxx(settings_place settings, link_port& port);
    ~Tlpc1xxx();
    Tlpc1xxx(const Tlpc1xxx&) = delete;
    Tlpc1xxx& operator=(const Tlpc1xxx&) = delete;

    // The windows that show the modules' output (null detaches).
    void attach_views(traffic_log* log, counter_view* counter, progress_view* progress);

    // --- forwarding to the link ---------------------------------------------------------
    bool poll_link() { return link_.poll_link(); }
    void release_frame() { link_.release_frame(); }
    komunikace::send_result send_packet(std::uint8_t type, std::span<const std::uint8_t> data) {
        return link_.send_packet(type, data);
    }
    void fill_port_list(port_list_view& view) { link_.fill_port_list(view); }
    std::string port_state_line() const { return link_.port_state_line(); }
    void select_port(std::string_view name) { link_.select_port(name, baud_rate); }
    void watchdog_on() { link_.watchdog_on(); }
    void watchdog_off() { link_.watchdog_off(); }

    // --- forwarding to the sequencer and the image --------------------------------------
    void start_memory_read(const Tsegment& ranges, bool reset_lines) {
        flash_->start_read(ranges, reset_lines);
    }
    bool transfer_running() const { return flash_->is_busy(); }
    // The bytes from address up to the first zero byte (at most room bytes).
    std::string memory_text_at(std::uint32_t address, std::size_t room) const {
        return flash_->image().read_text(address, room);
    }

    // --- the WiFi settings workflow -----------------------------------------------------
    // Starts reading the settings block; automatic: then write the default endpoint.
    void start_wifi_read(bool automatic) { wifi_.start_read(automatic); }
    // Once per tick after the link step: the texts read, once the requested read is over.
    std::optional<wifi_workflow::read_result> wifi_after_poll() { return wifi_.after_poll(); }
    // Whether the last transfer read its whole range list (not cancelled, not aborted).
    bool last_read_complete() const;

    komunikace& link() { return link_; }
    Tflash& flash() { return *flash_; }

private:
    traffic_log_relay log_relay_;
    counter_view_relay counter_relay_;
    progress_view_relay progress_relay_;
    komunikace link_;
    std::unique_ptr<Tflash> flash_; // 1 MiB image: on the heap
    wifi_workflow wifi_;
};

} // namespace zev1
