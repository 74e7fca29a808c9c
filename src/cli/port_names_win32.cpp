#include <cctype>
#include <cstdlib>

#include "cli/port_names.h"
#include "platform/system.h"
#include "serial/network_port.h"

namespace mirelle::cli {

namespace {

// The COM number of "COM3" or "\\.\COM3" in any case, else 0.
int ComNumber(std::string port) {
    if (port.rfind("\\\\.\\", 0) == 0) port.erase(0, 4);
    if (port.size() < 4 || port.size() > 6) return 0;
    for (int i = 0; i < 3; ++i) port[static_cast<std::size_t>(i)] = static_cast<char>(std::toupper(static_cast<unsigned char>(port[static_cast<std::size_t>(i)])));
    if (port.compare(0, 3, "COM") != 0 || port[3] == '0') return 0;
    char* end = nullptr;
    const long n = std::strtol(port.c_str() + 3, &end, 10);
    return *end == 0 && n >= 1 && n <= 255 ? static_cast<int>(n) : 0;
}

}  // namespace

PortTarget ResolvePort(const std::string&, const std::string& port) {
    if (serial::IsNetworkPort(port)) return {port, 0};
    const int n = ComNumber(port);
    if (n == 0) return {};
    return {"\\\\.\\COM" + std::to_string(n), n};
}

bool PortMapExists() { return false; }

std::string PortUsageNote() {
    return "\non Windows:\n"
           "  -p takes COM1 to COM255 (or \\\\.\\COMn) or a network port only; there is no [Ports] map, so ports\n"
           "  --map and --unmap exit with 2; ports lists the COM ports that exist; a gang run's\n"
           "  logs are COMn-LOG.TXT\n";
}

// COM1 to COM9 with any extension are device names on Windows: "COM3.TXT"
// would be the port itself, so the log of COMn is COMn-LOG.TXT.
std::string GangLogName(const std::string& port) {
    const int n = ComNumber(port);
    std::string name = n ? "COM" + std::to_string(n) : sys::FileNamePart(port);
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':' || c == ' ' || c == '.') c = '_';
    return name + "-LOG.TXT";
}

}  // namespace mirelle::cli
