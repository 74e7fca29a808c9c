#include "hexfile/flash_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace mirelle {

using namespace mirelle::hexfile;
namespace {

using Bytes = std::vector<std::uint8_t>;

bool AllAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

TEST(FlashImage, AddressRuleChoosesTheWindowByAddressAlone) {
    EXPECT_EQ(FlashImage::Locate(0x00080000, 0x00080000).window, ImageWindow::kLow);
    EXPECT_EQ(FlashImage::Locate(0x00080000, 0x00080000).offset, 0u);
    EXPECT_EQ(FlashImage::Locate(0x003FFFFF, 0).window, ImageWindow::kLow);
    // The mid and high windows ignore the first area's start.
    for (const std::uint32_t start : {0u, 0x1000u, 0x00500000u}) {
        EXPECT_EQ(FlashImage::Locate(0x00400000, start).window, ImageWindow::kMid);
        EXPECT_EQ(FlashImage::Locate(0x00400000, start).offset, 0u);
        EXPECT_EQ(FlashImage::Locate(0x1FFFFFFF, start).window, ImageWindow::kMid);
        EXPECT_EQ(FlashImage::Locate(0x20000000, start).window, ImageWindow::kHigh);
        EXPECT_EQ(FlashImage::Locate(0x20000000, start).offset, 0u);
        EXPECT_EQ(FlashImage::Locate(0xFFFFFFFF, start).window, ImageWindow::kHigh);
    }
}

TEST(FlashImage, FirstOffsetOfEachWindow) {
    FlashImage image;
    image.Fill(0xFF);
    const Bytes one = {0x5A};
    EXPECT_EQ(image.Store(0x1000, one, 0x1000, std::nullopt), StoreOutcome::kStored);
    EXPECT_EQ(image.Store(0x00400000, Bytes{0x6B}, 0x1000, std::nullopt), StoreOutcome::kStored);
    EXPECT_EQ(image.Store(0x20000000, Bytes{0x7C}, 0x1000, std::nullopt), StoreOutcome::kStored);
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0], 0x5A);
    EXPECT_EQ(image.Window(ImageWindow::kMid)[0], 0x6B);
    EXPECT_EQ(image.Window(ImageWindow::kHigh)[0], 0x7C);
    EXPECT_EQ(image.Store(0x0FFF, one, 0x1000, std::nullopt), StoreOutcome::kBelowStart);
}

TEST(FlashImage, RecordsAtAndPastEachWindowsEndAreRefusedWhole) {
    struct Case {
        std::uint32_t last;  // address of the window's last byte
        ImageWindow window;
    };
    const std::uint32_t start = 0x00010000;
    for (const Case c : {Case{start + 0x2FFFFF, ImageWindow::kLow}, Case{0x005FFFFF, ImageWindow::kMid},
                         Case{0x200FFFFF, ImageWindow::kHigh}}) {
        FlashImage image;
        image.Fill(0x00);
        const auto window = image.Window(c.window);
        // Ending exactly at the last byte fits.
        EXPECT_EQ(image.Store(c.last - 1, Bytes{1, 2}, start, std::nullopt), StoreOutcome::kStored);
        EXPECT_EQ(window[window.size() - 2], 1);
        EXPECT_EQ(window[window.size() - 1], 2);
        // Running one byte past the end stores nothing, not even the first bytes.
        EXPECT_EQ(image.Store(c.last - 2, Bytes{7, 8, 9, 10}, start, std::nullopt),
                  StoreOutcome::kOutsideImage);
        EXPECT_EQ(window[window.size() - 3], 0);
        EXPECT_EQ(window[window.size() - 2], 1);
        // Starting past the end.
        EXPECT_EQ(image.Store(c.last + 1, Bytes{7}, start, std::nullopt), StoreOutcome::kOutsideImage);
    }
    // Between the low window's end and 0x00400000 there is no place either.
    FlashImage image;
    EXPECT_EQ(image.Store(0x00300000, Bytes{1}, 0, std::nullopt), StoreOutcome::kOutsideImage);
    EXPECT_EQ(image.Store(0x003FFFFF, Bytes{1}, 0, std::nullopt), StoreOutcome::kOutsideImage);
    EXPECT_EQ(image.Store(0xFFFFFFFF, Bytes{1, 2}, 0, std::nullopt), StoreOutcome::kOutsideImage);
}

TEST(FlashImage, SkipHalfwordKeepsTwoLowBytesOnly) {
    FlashImage image;
    image.Fill(0xEE);
    Bytes data(16);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    // Offset 8 of the low window is address 0x1008 when the area starts at 0x1000.
    ASSERT_EQ(image.Store(0x1000, data, 0x1000, 8u), StoreOutcome::kStored);
    const auto low = image.Window(ImageWindow::kLow);
    EXPECT_EQ(low[7], 7);
    EXPECT_EQ(low[8], 0xEE);
    EXPECT_EQ(low[9], 0xEE);
    EXPECT_EQ(low[10], 10);
    // Records that start or end inside the halfword.
    ASSERT_EQ(image.Store(0x1009, Bytes{0x11, 0x22}, 0x1000, 8u), StoreOutcome::kStored);
    EXPECT_EQ(low[9], 0xEE);
    EXPECT_EQ(low[10], 0x22);
    ASSERT_EQ(image.Store(0x1006, Bytes{0x33, 0x44, 0x55}, 0x1000, 8u), StoreOutcome::kStored);
    EXPECT_EQ(low[7], 0x44);
    EXPECT_EQ(low[8], 0xEE);
    // The same offset in the other windows is written.
    ASSERT_EQ(image.Store(0x00400008, Bytes{1, 2}, 0x1000, 8u), StoreOutcome::kStored);
    EXPECT_EQ(image.Window(ImageWindow::kMid)[8], 1);
    ASSERT_EQ(image.Store(0x20000008, Bytes{1, 2}, 0x1000, 8u), StoreOutcome::kStored);
    EXPECT_EQ(image.Window(ImageWindow::kHigh)[9], 2);
}

TEST(FlashImage, FillReachesEveryByteOfEveryWindow) {
    FlashImage image;
    image.Store(0, Bytes{1, 2, 3}, 0, std::nullopt);
    image.Store(0x005FFFFF, Bytes{4}, 0, std::nullopt);
    image.Fill(0x3C);
    for (const auto w : {ImageWindow::kLow, ImageWindow::kMid, ImageWindow::kHigh}) {
        EXPECT_EQ(image.Window(w).size(), FlashImage::WindowSize(w));
        EXPECT_TRUE(AllAre(image.Window(w), 0x3C));
    }
}

TEST(FlashImage, ReadBlockGivesFillOutsideTheWindow) {
    FlashImage image;
    image.Fill(0xA5);
    image.Store(0x005FFFFE, Bytes{1, 2}, 0x1000, std::nullopt);
    image.Store(0x1000, Bytes{9, 8}, 0x1000, std::nullopt);

    Bytes block(8);
    image.ReadBlock(0x005FFFFC, 0x1000, block);
    EXPECT_EQ(block, (Bytes{0xA5, 0xA5, 1, 2, 0xA5, 0xA5, 0xA5, 0xA5}));

    // A block that begins below the low window's start reaches offset 0 at the start.
    image.ReadBlock(0x0FFE, 0x1000, block);
    EXPECT_EQ(block, (Bytes{0xA5, 0xA5, 9, 8, 0xA5, 0xA5, 0xA5, 0xA5}));

    // Wholly outside any buffer.
    image.ReadBlock(0xFFFFFFFC, 0, block);
    EXPECT_TRUE(AllAre(block, 0xA5));
    image.ReadBlock(0x003FFFF0, 0, block);
    EXPECT_TRUE(AllAre(block, 0xA5));
}

}  // namespace
}  // namespace mirelle
