// Linux: the ttys of sysfs, their by-id links and USB ids, and the devices
// that the [Ports] map names.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/port_listing.h"

namespace mirelle::cli {

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// Walks up from the tty's device towards the USB device that carries the
// ids (a USB serial adapter's interface sits below it).
void ReadUsbIds(const fs::path& device, SerialDevice& out) {
    std::error_code ec;
    fs::path dir = fs::canonical(device, ec);
    if (ec) return;
    for (int depth = 0; depth < 6 && !dir.empty() && dir != dir.root_path(); ++depth, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec)) {
            out.usb_id = FirstLine(dir / "idVendor") + ":" + FirstLine(dir / "idProduct");
            out.serial_number = FirstLine(dir / "serial");
            return;
        }
    }
}

void CheckOpen(SerialDevice& d) {
    // Non-blocking, so that a modem line without carrier does not hold the listing.
    const int fd = ::open(d.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        d.can_open = true;
        ::close(fd);
        return;
    }
    const int e = errno;
    d.open_error = std::strerror(e);
    if (e == EACCES || e == EPERM)
        d.open_error += " (on Debian: sudo adduser $USER dialout, then log in again)";
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const PortRoots& roots, const std::string& customize_text) {
    std::vector<SerialDevice> devices;
    std::error_code ec;
    const fs::path tty_class = fs::path(roots.sys) / "class" / "tty";
    for (const auto& entry : fs::directory_iterator(tty_class, ec)) {
        const fs::path device = entry.path() / "device";
        // Virtual terminals and ptys have no device behind them.
        if (!fs::exists(device, ec)) continue;
        SerialDevice d;
        const std::string name = entry.path().filename().string();
        d.path = (fs::path(roots.dev) / name).string();
        // A legacy 8250 port that no hardware answers has no type.
        const fs::path type = entry.path() / "type";
        if (name.rfind("ttyS", 0) == 0 && fs::exists(type, ec) && FirstLine(type) == "0") continue;
        if (fs::is_symlink(device / "driver", ec))
            d.driver = fs::read_symlink(device / "driver", ec).filename().string();
        ReadUsbIds(device, d);
        devices.push_back(std::move(d));
    }
    const fs::path by_id = fs::path(roots.dev) / "serial" / "by-id";
    for (const auto& link : fs::directory_iterator(by_id, ec)) {
        if (!link.is_symlink(ec)) continue;
        const std::string target = fs::read_symlink(link.path(), ec).filename().string();
        for (SerialDevice& d : devices)
            if (fs::path(d.path).filename() == target) d.by_id.push_back(link.path().string());
    }
    for (const auto& [number, device] : PortMap(customize_text)) {
        const std::string com = "COM" + std::to_string(number);
        auto same = [&](const SerialDevice& d) {
            if (d.path == device) return true;
            for (const std::string& id : d.by_id)
                if (id == device) return true;
            return false;
        };
        auto it = std::find_if(devices.begin(), devices.end(), same);
        if (it == devices.end()) {
            SerialDevice d;
            d.path = device;
            devices.push_back(std::move(d));
            it = devices.end() - 1;
        }
        it->com_names.push_back(com);
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    for (SerialDevice& d : devices) CheckOpen(d);
    return devices;
}

}  // namespace mirelle::cli
