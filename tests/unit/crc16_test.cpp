#include "protocol/crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirelle {

using namespace mirelle::protocol;
namespace {

std::uint16_t CrcOf(const std::string& s) {
    return Crc16(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

TEST(Crc16, KnownValues) {
    EXPECT_EQ(CrcOf("123456789"), 0x31C3);
    EXPECT_EQ(CrcOf("abc"), 0x9DD6);
    EXPECT_EQ(CrcOf(""), 0x0000);
    std::vector<std::uint8_t> erased(512, 0xFF);
    EXPECT_EQ(Crc16(erased.data(), erased.size()), 0x7FA1);
}

TEST(Crc16, DataFollowedByItsCrcHighByteFirstChecksToZero) {
    std::vector<std::uint8_t> block(512);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::uint16_t c = Crc16(block.data(), block.size());
    block.push_back(static_cast<std::uint8_t>(c >> 8));
    block.push_back(static_cast<std::uint8_t>(c & 0xFF));
    EXPECT_EQ(Crc16(block.data(), block.size()), 0);
    block[100] ^= 0x01;
    EXPECT_NE(Crc16(block.data(), block.size()), 0);
}

}  // namespace
}  // namespace mirelle
