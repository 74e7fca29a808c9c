// The serial devices of the machine, as `mirelle-cli ports` lists them: each
// tty that sysfs ties to a device, with its /dev/serial/by-id names, the USB
// ids and serial number of the adapter, its driver, whether it can be opened
// now, and the COMn names that the [Ports] map of Customize.ini gives it.
// The roots are parameters so that a fake tree can stand in for the system.
// On Windows: the COM ports that exist (serial/device_list), each with the
// system's device behind it and whether it can be opened now.
#pragma once

#include <string>
#include <vector>

namespace mirelle::cli {

struct SerialDevice {
    std::string path;                  // /dev/ttyUSB0; on Windows \\.\COM3
    std::string system_device;         // Windows: the system's device (\Device\Serial0)
    std::vector<std::string> by_id;    // /dev/serial/by-id/... links to it
    std::string usb_id;                // "0403:6001", empty when not on USB
    std::string serial_number;
    std::string driver;                // ftdi_sio, cp210x, serial8250...
    bool can_open = false;
    std::string open_error;            // why not, when it cannot be opened
    std::vector<std::string> com_names;  // COM3, from [Ports]
};

struct PortRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

// The [Ports] entries of the Customize.ini text: COM number and device.
std::vector<std::pair<int, std::string>> PortMap(const std::string& customize_text);

// The devices, sorted by path. A device path of [Ports] whose device is not
// found is listed too (marked by can_open false and its open error). On
// Windows the COM ports by number; the roots and the map are not used.
std::vector<SerialDevice> ListSerialDevices(const PortRoots& roots, const std::string& customize_text);

// The listing as text, one block per device, or one JSON object per line.
std::string FormatSerialDevices(const std::vector<SerialDevice>& devices, bool json);

}  // namespace mirelle::cli
