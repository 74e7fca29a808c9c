#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

std::string PortOpenProblem(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return device + ": opened, but the port refused its settings";
    }
    const int e = errno;
    std::string text = device + ": " + std::strerror(e);
    if (e == EACCES || e == EPERM)
        text += "; on Debian the serial ports belong to the group dialout: sudo adduser $USER dialout, then log in again";
    else if (e == EBUSY)
        text += "; another program holds the port";
    return text;
}

// The device's last part, or COMn as it is.
std::string GangLogName(const std::string& port) {
    std::string name = std::filesystem::path(port).filename().string();
    for (char& c : name)
        if (c == '/' || c == ':' || c == ' ') c = '_';
    return name + ".TXT";
}

}  // namespace mirelle::cli
