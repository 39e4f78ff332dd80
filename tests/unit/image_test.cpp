#include "memory/image.h"
#include "support/frame_bytes.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace zev1 {
namespace {

// The image with guard bytes right behind it, to see that nothing is written past its end.
struct guarded_image {
    memory_image image;
    std::array<std::uint8_t, 64> guard;
};

std::unique_ptr<guarded_image> make_guarded() {
    auto g = std::make_unique<guarded_image>();
    g->guard.fill(0xA5);
    return g;
}

} // namespace

using ::testing::Each;

TEST(MemoryImage, FreshImageReadsFFEverywhere) {
    const auto image = std::make_unique<memory_image>();
    const auto all = image->image_at(0);
    ASSERT_EQ(all.size(), 0x100000u);
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(MemoryImage, ImageAtIndexesByDeviceAddress) {
    const auto image = std::make_unique<memory_image>();
    EXPECT_EQ(image->image_at(0x12345).data(), image->image_at(0).data() + 0x12345);
    EXPECT_EQ(image->image_at(0xFFFFF).size(), 1u); // the last byte
    EXPECT_TRUE(image->image_at(0x100000).empty()); // one past it is outside
    EXPECT_TRUE(image->image_at(0xFFFFFFFF).empty());
    const memory_image& const_image = *image;
    EXPECT_EQ(const_image.image_at(0xFFFF0).size(), 16u);
    EXPECT_TRUE(const_image.image_at(0x100000).empty());
}

TEST(MemoryImage, StoreAndFetchRoundTrip) {
    const auto image = std::make_unique<memory_image>();
    const auto data = byte_run(256, 0x10);
    EXPECT_EQ(image->store_block(0x3000, data), 256u);
    std::vector<std::uint8_t> out(258, 0);
    EXPECT_EQ(image->fetch_block(0x2FFF, out), 258u);
    EXPECT_EQ(out.front(), 0xFF);
    EXPECT_EQ(out.back(), 0xFF);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin() + 1));
}

TEST(MemoryImage, SecondReadOverwritesOnlyItsBytes) {
    const auto image = std::make_unique<memory_image>();
    const auto first = byte_run(64, 0x00);
    const auto second = byte_run(16, 0x80);
    image->store_block(0x1000, first);
    image->store_block(0x1010, second);
    const auto at = image->image_at(0x1000);
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint8_t expected = (i >= 0x10 && i < 0x20) ? second[i - 0x10] : first[i];
        EXPECT_EQ(at[i], expected) << i;
    }
    EXPECT_EQ(image->image_at(0x0FFF)[0], 0xFF);
    EXPECT_EQ(image->image_at(0x1040)[0], 0xFF);
}

TEST(MemoryImage, BlockReachingPastTheEndIsCutAndWritesNothingOutside) {
    const auto g = make_guarded();
    const auto data = byte_run(48, 0x40);
    EXPECT_EQ(g->image.store_block(0xFFFF0, data), 16u);
    EXPECT_THAT(g->guard, Each(0xA5));
    const auto tail = g->image.image_at(0xFFFF0);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), data.begin()));
    EXPECT_EQ(g->image.image_at(0xFFFEF)[0], 0xFF);

    EXPECT_EQ(g->image.store_block(0xFFFFF, data), 1u);
    EXPECT_EQ(g->image.store_block(0x100000, data), 0u);
    EXPECT_EQ(g->image.store_block(0xFFFFFFFF, data), 0u);
    EXPECT_THAT(g->guard, Each(0xA5));
}

TEST(MemoryImage, FetchReachingPastTheEndIsCut) {
    const auto image = std::make_unique<memory_image>();
    std::vector<std::uint8_t> out(32, 0x00);
    EXPECT_EQ(image->fetch_block(0xFFFF8, out), 8u);
    EXPECT_TRUE(
        std::all_of(out.begin(), out.begin() + 8, [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::all_of(out.begin() + 8, out.end(), [](std::uint8_t b) { return b == 0x00; }));
    EXPECT_EQ(image->fetch_block(0x100000, out), 0u);
}

TEST(MemoryImage, ReadTextStopsAtTheFirstZero) {
    const auto image = std::make_unique<memory_image>();
    const std::uint8_t text[] = {'Z', 'E', 'V', '1', 0, 'x', 'y'};
    image->store_block(0x7000, text);
    EXPECT_EQ(image->read_text(0x7000, 64), "ZEV1");
    EXPECT_EQ(image->read_text(0x7004, 64), "");
}

TEST(MemoryImage, ReadTextStopsAtTheRoom) {
    const auto image = std::make_unique<memory_image>();
    const std::uint8_t text[] = {'a', 'b', 'c', 'd', 'e', 'f', 0};
    image->store_block(0x7000, text);
    EXPECT_EQ(image->read_text(0x7000, 3), "abc");
    EXPECT_EQ(image->read_text(0x7000, 0), "");
    // An unloaded region has no terminator: the room bounds the read.
    EXPECT_EQ(image->read_text(0x20000, 33), std::string(33, '\xFF'));
}

TEST(MemoryImage, ReadTextStopsAtTheEndOfTheImage) {
    const auto image = std::make_unique<memory_image>();
    EXPECT_EQ(image->read_text(0xFFFFC, 1000), std::string(4, '\xFF'));
    EXPECT_EQ(image->read_text(0x100000, 1000), "");
    EXPECT_EQ(image->read_text(0xFFFFFFFF, static_cast<std::size_t>(-1)), "");
}

} // namespace zev1
