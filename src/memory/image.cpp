#include "memory/image.h"

#include <algorithm>

namespace zev1 {

memory_image::memory_image() {
    bytes_.fill(0xFF);
}

std::span<std::uint8_t> memory_image::image_at(std::uint32_t address) {
    if (address >= size) {
        return {};
    }
    return std::span<std::uint8_t>(bytes_).subspan(address);
}

std::span<const std::uint8_t> memory_image::image_at(std::uint32_t address) const {
    if (address >= size) {
        return {};
    }
    return std::span<const std::uint8_t>(bytes_).subspan(address);
}

std::size_t memory_image::store_block(std::uint32_t address, std::span<const std::uint8_t> data) {
    const auto room = image_at(address);
    const std::size_t n = std::min(room.size(), data.size());
    std::copy_n(data.begin(), n, room.begin());
    return n;
}

std::size_t memory_image::fetch_block(std::uint32_t address, std::span<std::uint8_t> out) const {
    const auto from = image_at(address);
    const std::size_t n = std::min(from.size(), out.size());
    std::copy_n(from.begin(), n, out.begin());
    return n;
}

std::string memory_image::read_text(std::uint32_t address, std::size_t room) const {
    const auto from = image_at(address);
    const std::size_t limit = std::min(from.size(), room);
    const auto end =
        std::find(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(limit), std::uint8_t{0});
    return std::string(from.begin(), end);
}

} // namespace zev1
