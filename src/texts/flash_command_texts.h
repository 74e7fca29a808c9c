// The texts the host builds from what the control program in the chip's RAM
// answered: the detail line of a failed command and the question after a
// block that arrived with a bad CRC. The commands and their status bytes are
// protocol/flash_commands.h's.
#pragma once

#include <cstdint>
#include <string>

namespace mirelle::texts {

// Detail lines: a byte the chip answered, as "<prefix>%02XH".
std::string McuByteDetail(const char* prefix, int value);
std::string DownloadErrorDetail(int answer);  // "MCU : %02XH"
std::string EraseErrorDetail(int status);     // "ERASE ERROR MCU : %02XH"
std::string CrReadErrorDetail(int result);    // "CR READ ERROR MCU : %02XH"
std::string CrSetErrorDetail(int result);     // "CR SET ERROR MCU : %02XH"
inline constexpr const char* kTimingLimitOver = "Timing Limit Over";

// The question after a block the chip received with a bad CRC.
std::string CrcRetryQuestion(std::uint32_t block_address);  // "CRC error detected in 0x%X\nretry?"
inline constexpr const char* kCrcRetryCaption = "crc checking";

}  // namespace mirelle::texts
