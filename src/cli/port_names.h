// What a port named on mirelle-cli's command line stands for on this system.
// On Linux COMn goes through the [Ports] map of Customize.ini (default
// /dev/ttyS<n-1>) and any device path may be named; on Windows COMn is the
// device \\.\COMn, there is no map, and only COM ports can be named.
#pragma once

#include <string>

namespace mirelle::cli {

struct PortTarget {
    std::string device;  // the device to open; "" when the name is no port of this system
    int com_number = 0;  // the COM number named, 0 for a device path
};

// The device behind a -p value ("COM3" in any case; on Windows "\\.\COM3" too).
PortTarget ResolvePort(const std::string& customize_path, const std::string& port);

// Whether COM numbers go through a [Ports] map that `ports --map` changes.
bool PortMapExists();

// The name of a port's result log in a gang run's folder. Ports that the
// system takes for one give the same name, so that the run refuses them.
std::string GangLogName(const std::string& port);

// What --help adds about the ports of this system ("" on Linux, where the
// usage text says it all).
std::string PortUsageNote();

}  // namespace mirelle::cli
