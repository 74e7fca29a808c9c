#include "hexfile/area_sum.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirelle {

using namespace mirelle::hexfile;
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(AreaSum, WalksEveryAreaByteByTheAddressRule) {
    FlashImage image;
    image.Fill(0x00);
    const std::uint32_t low = 0x1000;
    ASSERT_EQ(image.Store(0x1000, Bytes{0x01, 0x02}, low, std::nullopt), StoreOutcome::kStored);
    ASSERT_EQ(image.Store(0x00400010, Bytes{0x10}, low, std::nullopt), StoreOutcome::kStored);
    ASSERT_EQ(image.Store(0x20000000, Bytes{0x40}, low, std::nullopt), StoreOutcome::kStored);
    ASSERT_EQ(image.Store(0x2000, Bytes{0x80}, low, std::nullopt), StoreOutcome::kStored);  // in no area

    struct Case {
        const char* what;
        std::vector<AreaRange> areas;
        std::uint16_t sum;
    };
    const Case cases[] = {
        {"low window from its start", {{0x1000, 0x10FF}}, 0x03},
        {"mid and high windows", {{0x00400000, 0x004000FF}, {0x20000000, 0x20000000}}, 0x50},
        {"an area that crosses into the mid window", {{0x003FFFFF, 0x00400010}}, 0x10},
        {"an end below the start adds nothing", {{0x1001, 0x1000}}, 0x00},
        {"the same address in two areas counts twice", {{0x1001, 0x1001}, {0x1001, 0x1001}}, 0x04},
    };
    for (const Case& c : cases) EXPECT_EQ(AreaSum(image, c.areas, low), c.sum) << c.what;
}

TEST(AreaSum, PlacesOutsideTheBuffersCountWithTheFill) {
    FlashImage image;
    image.Fill(0x01);
    // Below the low window's start, past the high window's end up to the last
    // address: 0x10 + 0x100 bytes of fill, and the loop ends at 0xFFFFFFFF.
    const std::vector<AreaRange> areas = {{0x0FF0, 0x0FFF}, {0xFFFFFF00, 0xFFFFFFFF}};
    EXPECT_EQ(AreaSum(image, areas, 0x1000), 0x110);
    // The sum is taken modulo 0x10000: 0x10000 bytes of 0xFF give 0.
    image.Fill(0xFF);
    const std::vector<AreaRange> big = {{0x1000, 0x10FFF}};
    EXPECT_EQ(AreaSum(image, big, 0x1000), 0x0000);
}

}  // namespace
}  // namespace mirelle
