#pragma once
// The host's mirror of the controller's memory: 1 MiB indexed by device address,
// filled with 0xFF once at construction.
//
// Bounds: nothing ever reads or writes outside the 1,048,576 bytes. A request that
// starts past 0xFFFFF does nothing; one that reaches past it is cut at the end of the
// image. store_block / fetch_block return how many bytes they actually copied.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zev1 {

class memory_image {
public:
    static constexpr std::uint32_t size = 0x100000;

    memory_image();

    // Bytes from address to the end of the image (empty span past the end).
    std::span<std::uint8_t> image_at(std::uint32_t address);
    std::span<const std::uint8_t> image_at(std::uint32_t address) const;

    // Copies data into the image from address on; returns the bytes stored.
    std::size_t store_block(std::uint32_t address, std::span<const std::uint8_t> data);
    // Copies out.size() bytes from address on into out; returns the bytes copied.
    std::size_t fetch_block(std::uint32_t address, std::span<std::uint8_t> out) const;

    // The zero-terminated text at address, stopping at the first zero byte, after
    // `room` bytes, or at the end of the image, whichever comes first.
    std::string read_text(std::uint32_t address, std::size_t room) const;

private:
    std::array<std::uint8_t, size> bytes_;
};

} // namespace zev1
