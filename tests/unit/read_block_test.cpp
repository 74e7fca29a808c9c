// The CRC check of a read-out block with the test switch's fault. (The
// answers and the word comparison are seen whole in the scenario tests.)
#include <gtest/gtest.h>

#include <vector>

#include "protocol/crc16.h"
#include "protocol/read_block.h"

namespace mirelle::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

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

}  // namespace
}  // namespace mirelle::protocol
