// The link's dispatch and the sequencer's reply handlers fed with checksum-valid frames of
// any type and content, and with raw bytes between them. Bootloader answers are often
// given the address the sequencer waits for, so the storing paths are reached. Under
// AddressSanitizer any read or write outside a payload or the image is a crash.
#include "link/komunikace.h"
#include "memory/flash.h"
#include "support/fake_link_port.h"
#include "support/recording_views.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace {

using namespace zev1;

class null_log final : public traffic_log {
public:
    void add_packet_line(std::span<const std::uint8_t>, bool, std::string_view,
                         std::string_view) override {}
    void log_text(std::string_view) override {}
};

class null_counter final : public counter_view {
public:
    void show_counter(std::string_view) override {}
};

class null_progress final : public progress_view {
public:
    void show_progress(std::string_view, std::uint32_t, bool) override {}
    void set_remaining(std::uint32_t) override {}
    bool take_cancel() override { return false; }
    void show_error(std::string_view) override {}
};

// Built once: the image alone is 1 MiB.
struct rig {
    fake_link_port port;
    Tini_file settings{std::filesystem::temp_directory_path() / "zev1_link_dispatch_fuzz.INI"};
    null_log log;
    null_counter counter;
    null_progress progress;
    komunikace link{port, settings, log, counter};
    Tflash flash{link, port, progress, log};

    rig() {
        link.set_transfer(&flash);
        port.present.insert("COM1");
        link.select_port("COM1");
    }
};

rig& the_rig() {
    static rig r;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rig& r = the_rig();
    const std::span<const std::uint8_t> input(data, size);
    if (!r.flash.is_busy()) {
        r.flash.start_read(Tsegment::single(0xFFF00, 0x200), false);
    }
    std::size_t at = 0;
    while (at + 2 <= input.size()) {
        const std::uint8_t selector = input[at];
        const std::size_t n = std::min<std::size_t>(input[at + 1] + (selector & 0x01 ? 256 : 0),
                                                    input.size() - at - 2);
        std::vector<std::uint8_t> body(input.begin() + static_cast<std::ptrdiff_t>(at + 2),
                                       input.begin() + static_cast<std::ptrdiff_t>(at + 2 + n));
        at += 2 + n;
        if (selector & 0x80) {
            r.port.bytes.feed(body); // raw bytes, no frame
        } else {
            const std::uint8_t type = static_cast<std::uint8_t>((selector >> 1) % 12);
            if ((selector & 0x40) && body.size() >= 8) {
                const std::uint32_t address = r.flash.current();
                for (std::size_t i = 0; i < 4; ++i) {
                    body[4 + i] = static_cast<std::uint8_t>(address >> (8 * i));
                }
            }
            if (body.size() > frame_max_length - frame_overhead) {
                body.resize(frame_max_length - frame_overhead);
            }
            std::vector<std::uint8_t> frame(frame_buffer_size);
            frame.resize(build_frame(frame, type, frame_header{}, body));
            r.port.bytes.feed(frame);
        }
        for (int i = 0; i < 4; ++i) {
            if (r.link.poll_link()) {
                r.link.release_frame();
            }
        }
    }
    // Drain what is left so inputs do not pile up.
    for (int i = 0; i < 2000 && r.port.bytes.rx_count() > 0; ++i) {
        if (r.link.poll_link()) {
            r.link.release_frame();
        }
    }
    r.port.bytes.clear_sent();
    if (r.port.bytes.violations() != 0) {
        __builtin_trap();
    }
    return 0;
}
