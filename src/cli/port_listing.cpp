#include "cli/port_listing.h"

#include "cli/json_text.h"
#include "platform/profile.h"

namespace mirelle::cli {

namespace {

constexpr int kHighestComNumber = 255;

}  // namespace

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
            JsonObject o;
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

}  // namespace mirelle::cli
