// CRC-16/XMODEM: polynomial 0x1021, initial value 0, most significant bit
// first, no reflection, no final XOR. The block transfers to and from the
// control program carry it high byte first; the CRC over data plus its CRC is 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mirelle::protocol {

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);

}  // namespace mirelle::protocol
