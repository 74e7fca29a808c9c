#include "settings/settings.h"

#include <cstdio>
#include <strings.h>

#include "platform/profile.h"

namespace mirelle::settings {

void ReadCustomizeSettings(const std::string& customize_path, bool read_com, CustomizeSettings& settings,
                           std::string& com_text) {
    if (read_com) {
        std::int32_t com = profile::GetInt(customize_path, "Com", "ComNo", 1);
        if (com < 1 || com > 255) com = 1;  // the program never writes such a value
        settings.nComIndex = static_cast<std::uint32_t>(com - 1) & 0xFF;
        com_text = std::to_string(com);
    }
    settings.bSound = profile::GetInt(customize_path, "Sound", "Sound", 0);
    settings.bErrorEnable = profile::GetInt(customize_path, "Sound", "ErrorEnable", 0);
    settings.nErrorType = profile::GetInt(customize_path, "Sound", "ErrorType", 0);
    settings.strErrorWave = profile::GetString(customize_path, "Sound", "ErrorPass", "<none>", 261);
    settings.bEndEnable = profile::GetInt(customize_path, "Sound", "EndEnable", 0);
    settings.nEndType = profile::GetInt(customize_path, "Sound", "EndType", 0);
    settings.strEndWave = profile::GetString(customize_path, "Sound", "EndPass", "<none>", 261);
    settings.bToolTips = profile::GetInt(customize_path, "Tool", "ToolTips", 0);
}

RecordsSettings ReadRecordsSettings(const std::string& customize_path) {
    RecordsSettings r;
    r.enabled = profile::GetInt(customize_path, "Records", "Enabled", 1) != 0;
    r.database = profile::GetString(customize_path, "Records", "Database", "", 4096);
    r.station = profile::GetString(customize_path, "Records", "Station", "", 256);
    r.operator_name = profile::GetString(customize_path, "Records", "Operator", "", 256);
    return r;
}

std::string CommandCaption(std::uint32_t com_index) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Command  to  COM%u", static_cast<unsigned>(com_index + 1));
    return buf;
}

int LeadingDecimal(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
    }
    return static_cast<int>(negative ? -value : value);
}

bool WriteComNumber(const std::string& customize_path, const std::string& com_text) {
    const int n = LeadingDecimal(com_text);
    if (n < 1 || n > 255) return false;
    profile::WriteString(customize_path, "Com", "ComNo", std::to_string(n));
    return true;
}

std::string ComDevicePath(const std::string& customize_path, int com_number) {
    std::string device =
        profile::GetString(customize_path, "Ports", "COM" + std::to_string(com_number), "", 4096);
    if (device.empty()) device = "/dev/ttyS" + std::to_string(com_number - 1);
    return device;
}

bool MapComPort(const std::string& customize_path, int com_number, const std::string& device) {
    return profile::WriteString(customize_path, "Ports", "COM" + std::to_string(com_number), device);
}

bool UnmapComPort(const std::string& customize_path, int com_number) {
    return profile::DeleteKey(customize_path, "Ports", "COM" + std::to_string(com_number));
}

RecentSelection ReadRecent(const std::string& datafile_path) {
    RecentSelection r;
    r.target = profile::GetInt(datafile_path, "Recent", "CPU", 0);
    r.target_name = profile::GetString(datafile_path, "Recent", "CPUNAME", "", 260);
    r.rate = profile::GetInt(datafile_path, "Recent", "RATE", 0);
    if (r.target < 0) r.target = 0;
    if (r.rate < 0) r.rate = 0;
    r.program_file = profile::GetString(datafile_path, "Recent", "Write File", "", 260);
    r.binary_start = profile::GetString(datafile_path, "Recent", "Write Offset", "", 32);
    return r;
}

void WriteRecent(const std::string& datafile_path, int target, int rate, const std::string& program_file,
                 const std::string& target_name, const std::string& binary_start) {
    profile::WriteString(datafile_path, "Recent", "CPU", std::to_string(target < 0 ? 0 : target));
    if (!target_name.empty()) profile::WriteString(datafile_path, "Recent", "CPUNAME", target_name);
    profile::WriteString(datafile_path, "Recent", "RATE", std::to_string(rate < 0 ? 0 : rate));
    profile::WriteString(datafile_path, "Recent", "Write File", program_file);
    if (!binary_start.empty()) profile::WriteString(datafile_path, "Recent", "Write Offset", binary_start);
}

int RecentTargetIndex(const RecentSelection& recent, const std::vector<std::string>& names) {
    if (!recent.target_name.empty()) {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (strcasecmp(names[i].c_str(), recent.target_name.c_str()) == 0) return static_cast<int>(i);
    }
    if (recent.target >= 0 && recent.target < static_cast<int>(names.size())) return recent.target;
    return 0;
}

bool RecentTargetGone(const RecentSelection& recent, const std::vector<std::string>& names) {
    if (recent.target_name.empty()) return false;
    for (const std::string& name : names)
        if (strcasecmp(name.c_str(), recent.target_name.c_str()) == 0) return false;
    return true;
}

}  // namespace mirelle::settings
