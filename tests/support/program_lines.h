// Builders of program file lines with correct checksums, for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirelle::testing {

// "S1", "S2" or "S3" (by `type`) record with count, address, data and checksum.
std::string SRecordOf(char type, std::uint32_t address, const std::vector<std::uint8_t>& data);

// Intel HEX record of `type` with a 16-bit address field and its checksum.
std::string IntelHexOf(std::uint8_t type, std::uint16_t address,
                       const std::vector<std::uint8_t>& data);

}  // namespace mirelle::testing
