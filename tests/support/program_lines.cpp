#include "support/program_lines.h"

#include <cstdio>

namespace mirelle::testing {
namespace {

void AppendByte(std::string& out, std::uint8_t value) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", value);
    out += digits;
}

}  // namespace

std::string SRecordOf(char type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
    const int address_length = type - '1' + 2;
    std::vector<std::uint8_t> bytes;
    bytes.push_back(static_cast<std::uint8_t>(address_length + data.size() + 1));
    for (int i = address_length - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const auto b : bytes) sum += b;
    bytes.push_back(static_cast<std::uint8_t>(0xFF - (sum & 0xFF)));
    std::string line = {'S', type};
    for (const auto b : bytes) AppendByte(line, b);
    return line;
}

std::string IntelHexOf(std::uint8_t type, std::uint16_t address,
                       const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()),
                                       static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const auto b : bytes) sum += b;
    bytes.push_back(static_cast<std::uint8_t>(-sum));
    std::string line = ":";
    for (const auto b : bytes) AppendByte(line, b);
    return line;
}

}  // namespace mirelle::testing
