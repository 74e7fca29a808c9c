#include <cstdlib>
#include <filesystem>
#include <strings.h>

#include "cli/port_names.h"
#include "settings/settings.h"

namespace mirelle::cli {

PortTarget ResolvePort(const std::string& customize_path, const std::string& port) {
    if (port.size() > 3 && strncasecmp(port.c_str(), "COM", 3) == 0) {
        char* end = nullptr;
        const long n = std::strtol(port.c_str() + 3, &end, 10);
        if (*end == 0 && n >= 1 && n <= 255)
            return {settings::ComDevicePath(customize_path, static_cast<int>(n)), static_cast<int>(n)};
    }
    return {port, 0};
}

bool PortMapExists() { return true; }

std::string PortUsageNote() { return ""; }

// The device's last part, or COMn as it is.
std::string GangLogName(const std::string& port) {
    std::string name = std::filesystem::path(port).filename().string();
    for (char& c : name)
        if (c == '/' || c == ':' || c == ' ') c = '_';
    return name + ".TXT";
}

}  // namespace mirelle::cli
