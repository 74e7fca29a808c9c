// The checks of a read-out block: the command's answer, the frame's CRC with
// the test switch's fault, and the word comparison with the image.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/crc16.h"
#include "protocol/read_block.h"

namespace mirelle::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ReadBlockTest, AnswersToTheReadCommand) {
    const std::pair<int, ReadAnswer> cases[] = {
        {'1', ReadAnswer::kReady},         {3, ReadAnswer::kTimedOut},  {0xFF, ReadAnswer::kWriteFailed},
        {0, ReadAnswer::kCancelled},       {'4', ReadAnswer::kRefused}, {'0', ReadAnswer::kRefused},
        {'3', ReadAnswer::kRefused},
    };
    for (const auto& [status, answer] : cases) EXPECT_EQ(ClassifyReadAnswer(status), answer) << status;
}

TEST(ReadBlockTest, FrameCrcFailsWhenDamagedOrWhenTheFaultIsDrawn) {
    Bytes frame(kReadFrameBytes);
    for (std::size_t k = 0; k < 512; ++k) frame[k] = static_cast<std::uint8_t>(k * 31);
    const std::uint16_t crc = Crc16(frame.data(), 512);
    frame[512] = static_cast<std::uint8_t>(crc >> 8);
    frame[513] = static_cast<std::uint8_t>(crc);
    EXPECT_TRUE(ReadFrameIntact(frame, 0));
    EXPECT_FALSE(ReadFrameIntact(frame, 1));
    // The fault wraps around in the byte: 0xFF + 1 is 0x00.
    Bytes wraps = frame;
    wraps[512] = static_cast<std::uint8_t>(wraps[512] - 1);
    EXPECT_TRUE(ReadFrameIntact(wraps, 1));
    frame[100] ^= 0x01;
    EXPECT_FALSE(ReadFrameIntact(frame, 0));
}

TEST(ReadBlockTest, FirstDifferentWordIsReportedAtTheWordsAddress) {
    struct Case {
        std::uint32_t area_end;
        std::size_t at;  // offset of the changed flash byte
        std::optional<WordDifference> expected;
    };
    const std::uint32_t block = 0x000F8000;
    const Case cases[] = {
        // The third byte differs: the word's own address, both words first byte high.
        {0x000FFFFF, 0x12, WordDifference{0x000F8010, 0x1234AB78, 0x12345678}},
        // An area ending at E with E mod 4 = 1: the word at E - 1 still takes E + 1 and E + 2.
        {0x000F8011, 0x13, WordDifference{0x000F8010, 0x123456AB, 0x12345678}},
        // Words that start past the area's end are not compared.
        {0x000F800F, 0x12, std::nullopt},
        {0x000FFFFF, 0x1FF, WordDifference{0x000F81FC, 0x123456AB, 0x12345678}},
    };
    Bytes image(512);
    for (std::size_t k = 0; k < 512; k += 4) image[k] = 0x12, image[k + 1] = 0x34, image[k + 2] = 0x56, image[k + 3] = 0x78;
    EXPECT_EQ(FirstDifferentWord(block, 0x000FFFFF, image, image), std::nullopt);
    for (const Case& c : cases) {
        Bytes flash = image;
        flash[c.at] = 0xAB;
        EXPECT_EQ(FirstDifferentWord(block, c.area_end, flash, image), c.expected) << c.at;
    }
    EXPECT_EQ(Word0x(0x000F8010), "0x000F8010");
    EXPECT_EQ(Word0x(0x1234FFFF), "0x1234FFFF");
}

}  // namespace
}  // namespace mirelle::protocol
