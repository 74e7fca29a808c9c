#include "texts/flash_command_texts.h"

#include <cstdio>

namespace mirelle::texts {

std::string McuByteDetail(const char* prefix, int value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%02X%s", prefix, static_cast<unsigned>(value) & 0xFFu, "H");
    return text;
}

std::string DownloadErrorDetail(int answer) { return McuByteDetail("MCU : ", answer); }
std::string EraseErrorDetail(int status) { return McuByteDetail("ERASE ERROR MCU : ", status); }
std::string CrReadErrorDetail(int result) { return McuByteDetail("CR READ ERROR MCU : ", result); }
std::string CrSetErrorDetail(int result) { return McuByteDetail("CR SET ERROR MCU : ", result); }

std::string CrcRetryQuestion(std::uint32_t block_address) {
    char text[64];
    std::snprintf(text, sizeof text, "CRC error detected in 0x%X\nretry?", static_cast<unsigned>(block_address));
    return text;
}

}  // namespace mirelle::texts
