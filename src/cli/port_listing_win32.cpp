// Windows: the COM ports that exist; COMn is always \\.\COMn, unmapped.
#include "cli/port_listing.h"
#include "serial/device_list.h"

namespace mirelle::cli {

std::vector<SerialDevice> ListSerialDevices(const PortRoots&, const std::string&) {
    std::vector<SerialDevice> devices;
    for (const serial::ComPort& port : serial::ListComPorts(true)) {
        SerialDevice d;
        const std::string com = "COM" + std::to_string(port.number);
        d.path = "\\\\.\\" + com;
        d.system_device = port.device;
        d.can_open = port.can_open;
        d.open_error = port.open_error;
        d.com_names = {com};
        devices.push_back(std::move(d));
    }
    return devices;
}

}  // namespace mirelle::cli
