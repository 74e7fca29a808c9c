#include "protocol/crc16.h"

#include <array>

namespace mirelle::protocol {
namespace {

// One table entry per value of the register's high byte, so each data byte
// costs one lookup instead of eight shifts.
constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t r = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            r = static_cast<std::uint16_t>((r & 0x8000) ? (r << 1) ^ 0x1021 : (r << 1));
        table[i] = r;
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

}  // namespace mirelle::protocol
