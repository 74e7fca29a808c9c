// The parts of the device listing and of the open-failure texts that are the
// same on every system.
#include "serial/device_list.h"
#include "serial/network_port.h"

#include "platform/json_text.h"
#include "platform/profile.h"

namespace mirelle::serial {

std::vector<std::pair<int, std::string>> PortMap(const std::string& customize_text) {
    std::vector<std::pair<int, std::string>> map;
    for (int n = 1; n <= kHighestComNumber; ++n) {
        std::string device = profile::GetStringFromText(customize_text, "Ports", "COM" + std::to_string(n), "");
        if (!device.empty()) map.emplace_back(n, device);
    }
    return map;
}

std::string FormatSerialDevices(const std::vector<SerialDevice>& devices, bool json) {
    std::string out;
    auto joined = [](const std::vector<std::string>& items) {
        std::string s;
        for (const std::string& i : items) s += (s.empty() ? "" : ", ") + i;
        return s;
    };
    for (const SerialDevice& d : devices) {
        if (json) {
            sys::JsonObject o;
            o.Add("event", "port").Add("path", d.path).Add("by_id", d.by_id).Add("usb_id", d.usb_id);
            o.Add("serial", d.serial_number).Add("driver", d.driver);
            if (!d.system_device.empty()) o.Add("device", d.system_device);
            o.Add("can_open", d.can_open);
            if (!d.can_open) o.Add("open_error", d.open_error);
            o.Add("com", d.com_names);
            out += o.Text() + "\n";
            continue;
        }
        out += d.path;
        if (!d.com_names.empty()) out += "  (" + joined(d.com_names) + ")";
        out += "\n";
        for (const std::string& id : d.by_id) out += "  by-id:   " + id + "\n";
        if (!d.usb_id.empty()) out += "  usb:     " + d.usb_id + (d.serial_number.empty() ? "" : "  serial " + d.serial_number) + "\n";
        if (!d.driver.empty()) out += "  driver:  " + d.driver + "\n";
        if (!d.system_device.empty()) out += "  device:  " + d.system_device + "\n";
        out += std::string("  open:    ") + (d.can_open ? "yes" : "no, " + d.open_error) + "\n";
    }
    if (devices.empty() && !json) out = "no serial devices found\n";
    return out;
}

std::string GroupAdvice(const std::string& group) {
    return "the user must be in the group " + group + " (sudo usermod -aG " + group + " $USER, then log in again)";
}

namespace {
std::string NetworkFailureText(bool open_failed) {
    return open_failed ? "could not be reached (no server listening there, or a wrong address)"
                       : "its server did not take the port settings or line control (a server without "
                         "RFC 2217, or socket:// where line control is needed)";
}
}  // namespace

std::string PortProblemText(int com_number, const std::string& device) {
    const std::string com = "COM" + std::to_string(com_number);
    std::string group;
    std::string text = com + " is " + device;
    if (IsNetworkPort(device)) return text + ", which " + NetworkFailureText(true);
    switch (DiagnoseOpenFailure(device, group)) {
        case OpenProblem::Missing:
            text += ", which does not exist";
            break;
        case OpenProblem::NoPermission:  // Linux only: Windows tells no such case apart
            text += ", which this user may not open: " + GroupAdvice(group);
            break;
        case OpenProblem::Other: {
            const std::string obstacle = PortObstacle(device);
            if (!obstacle.empty()) return text + ", which" + obstacle;
            text += ", which could not be opened (another program may be using it)";
            break;
        }
    }
    return text + "; " + SerialDevicesHint(com_number);
}

std::string PortFailureText(const std::string& device, int com_number, bool open_failed) {
    if (IsNetworkPort(device)) return device + ": " + NetworkFailureText(open_failed);
    if (const std::string obstacle = PortObstacle(device); !obstacle.empty()) return device + ":" + obstacle;
    const std::string text = DeviceProblemText(device);
    return open_failed ? text + "; " + SerialDevicesHint(com_number) : text;
}

}  // namespace mirelle::serial
