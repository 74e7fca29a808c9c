#include "protocol/flash_commands.h"

#include "protocol/crc16.h"

namespace mirelle::protocol {

std::size_t AddressWidth(TargetFamily family) { return family == TargetFamily::First ? 4 : 3; }

void AppendAddress(std::vector<std::uint8_t>& frame, std::uint32_t address, TargetFamily family) {
    for (std::size_t i = 0; i < AddressWidth(family); ++i)
        frame.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
}

std::vector<std::uint8_t> EraseFrame(TargetFamily family, std::uint32_t start) {
    std::vector<std::uint8_t> frame{kCmdErase};
    AppendAddress(frame, start, family);
    return frame;
}

std::vector<std::uint8_t> CrReadFrame() { return {kCmdCrRead, 0x11, 0x22, 0x33, 0x44}; }

std::vector<std::uint8_t> CrSetFrame(const std::array<std::uint8_t, 4>& bytes) {
    return {kCmdCrSet, bytes[0], bytes[1], bytes[2], bytes[3]};
}

std::vector<std::uint8_t> BlankCheckFrame(TargetFamily family, std::uint32_t start, std::uint32_t end) {
    std::vector<std::uint8_t> frame{kCmdBlankCheck};
    // end + 1 wraps to 0 for an area reaching the top of the address space,
    // as the control program expects.
    if (family == TargetFamily::First) AppendAddress(frame, start, family);
    AppendAddress(frame, end + 1, family);
    return frame;
}

std::vector<std::uint8_t> BlockCommandFrame(TargetFamily family, std::uint32_t address, bool read) {
    std::vector<std::uint8_t> frame{read ? kCmdReadBlock : kCmdProgramBlock};
    AppendAddress(frame, address, family);
    return frame;
}

std::vector<std::uint8_t> BlockDataFrame(std::span<const std::uint8_t> block) {
    std::vector<std::uint8_t> frame(block.begin(), block.end());
    const std::uint16_t crc = Crc16(block.data(), block.size());
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return frame;
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::string HexBytes0x(std::span<const std::uint8_t> bytes) { return "0x" + HexBytes(bytes); }

}  // namespace mirelle::protocol
