// Linux: the ttys of sysfs with their by-id links and USB ids, the devices
// that the [Ports] map names, and why a device does not open.
#include "serial/device_list.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/file.h"
#include "serial/uucp_lock.h"

namespace mirelle::serial {

namespace fs = std::filesystem;

namespace {

// The first line of a small sysfs file, without its end and trailing blanks.
std::string FirstLine(const fs::path& file) {
    std::string text;
    sys::ReadWholeFile(file.string(), text);
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// A UART whose port type reads 0 (PORT_UNKNOWN) has no hardware behind it.
bool UnknownUart(const fs::path& sys_entry) {
    std::error_code ec;
    return fs::exists(sys_entry / "type", ec) && FirstLine(sys_entry / "type") == "0";
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

// Gives each device the stable names under <dev>/serial/by-id that point at
// its node.
void AddByIdLinks(const std::string& dev_root, std::vector<SerialDevice>& devices) {
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(dev_root) / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code one;
        if (!it->is_symlink(one)) continue;
        // The node the link ends at; a link to a missing node by its own target.
        fs::path target = fs::canonical(it->path(), one);
        if (one) target = fs::read_symlink(it->path(), one);
        for (SerialDevice& d : devices)
            if (fs::path(d.path).filename() == target.filename()) d.by_id.push_back(it->path().string());
    }
    for (SerialDevice& d : devices) std::sort(d.by_id.begin(), d.by_id.end());
}

void SortByPath(std::vector<SerialDevice>& devices) {
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
}

// The group that a user must be in to open `device`: its own group, unless
// that is root's or unknown ("dialout" on Debian then).
std::string GroupOf(const struct stat& st) {
    if (const struct group* g = ::getgrgid(st.st_gid); g && g->gr_name && *g->gr_name && st.st_gid != 0)
        return g->gr_name;
    return "dialout";
}

// Opens and closes `device`, non-blocking so that a modem line without
// carrier does not hold it: 0 when it opened, else the error.
int OpenError(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    int exclusive = 0;
#ifdef TIOCGEXCL
    // Opened only because root passes another program's exclusive mode: the
    // port is that program's all the same.
    if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0) exclusive = 0;
#endif
    ::close(fd);
    return exclusive != 0 ? EBUSY : 0;
}

// The system's text for an open error, with what to do about a refused
// permission.
std::string OpenErrorText(const std::string& device, int error) {
    std::string text = std::strerror(error);
    if (error == EACCES || error == EPERM) {
        struct stat st {};
        text += "; " + GroupAdvice(::stat(device.c_str(), &st) == 0 ? GroupOf(st) : "dialout");
    }
    return text;
}

void CheckOpen(SerialDevice& d) {
    const int error = OpenError(d.path);
    d.can_open = error == 0;
    if (error != 0) d.open_error = OpenErrorText(d.path, error);
}

}  // namespace

std::vector<SerialDevice> FindSerialDevices(const PortRoots& roots) {
    std::vector<SerialDevice> devices;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(roots.sys) / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path device = it->path() / "device";
        std::error_code one;
        if (!fs::exists(device, one) || UnknownUart(it->path())) continue;
        SerialDevice d;
        d.path = (fs::path(roots.dev) / it->path().filename()).string();
        if (fs::is_symlink(device / "driver", one))
            d.driver = fs::read_symlink(device / "driver", one).filename().string();
        ReadUsbIds(device, d);
        devices.push_back(std::move(d));
    }
    AddByIdLinks(roots.dev, devices);
    SortByPath(devices);
    return devices;
}

std::vector<SerialDevice> ListSerialDevices(const PortRoots& roots, const std::string& customize_text) {
    std::vector<SerialDevice> devices = FindSerialDevices(roots);
    for (const auto& entry : PortMap(customize_text)) {
        // Named, not bound: a structured binding cannot be captured by every compiler we build with.
        const int number = entry.first;
        const std::string& device = entry.second;
        auto same = [&](const SerialDevice& d) {
            return d.path == device || std::find(d.by_id.begin(), d.by_id.end(), device) != d.by_id.end();
        };
        auto it = std::find_if(devices.begin(), devices.end(), same);
        if (it == devices.end()) {
            SerialDevice d;
            d.path = device;
            devices.push_back(std::move(d));
            it = devices.end() - 1;
        }
        it->com_names.push_back("COM" + std::to_string(number));
    }
    SortByPath(devices);
    for (SerialDevice& d : devices) CheckOpen(d);
    return devices;
}

std::vector<std::string> SerialDeviceNames(const PortRoots& roots) {
    std::vector<std::string> names;
    for (const SerialDevice& d : FindSerialDevices(roots)) {
        std::error_code ec;
        if (!fs::exists(d.path, ec)) continue;
        std::string text = d.path;
        for (std::size_t i = 0; i < d.by_id.size(); ++i) text += (i == 0 ? " (" : ", ") + d.by_id[i];
        names.push_back(text + (d.by_id.empty() ? "" : ")"));
    }
    return names;
}

OpenProblem DiagnoseOpenFailure(const std::string& device, std::string& group) {
    group = "dialout";
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return OpenProblem::Missing;
    group = GroupOf(st);
    if (::access(device.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return OpenProblem::NoPermission;
    return OpenProblem::Other;
}

std::string PortObstacle(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return {};
    if (!S_ISCHR(st.st_mode)) return " is not a serial port (not a character device)";
    std::string lock_path;
    if (const pid_t holder = LockHolder(device, lock_path))
        return " is in use by another program (process " + std::to_string(holder) + " holds the lock file " +
               lock_path + ")";
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY ? " is in use by another program" : "";
    std::string obstacle;
    if (!::isatty(fd))
        obstacle = " is not a serial port (not a terminal device)";
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        obstacle = " is in use by another program";
    ::close(fd);  // also drops a lock just taken
    return obstacle;
}

std::string DeviceProblemText(const std::string& device) {
    const int error = OpenError(device);
    if (error == 0) return device + ": opened, but the port refused its settings";
    std::string text = device + ": " + OpenErrorText(device, error);
    if (error == EBUSY) text += "; in use by another program";
    return text;
}

std::string SerialDevicesHint(int com_number) {
    const std::vector<std::string> devices = SerialDeviceNames();
    std::string text = devices.empty() ? "no serial devices found" : "serial devices: ";
    for (std::size_t i = 0; i < devices.size(); ++i) text += (i ? ", " : "") + devices[i];
    return text + "; map one with: mirelle-cli ports --map " + (com_number > 0 ? std::to_string(com_number) : "N") +
           " DEVICE";
}

std::string SystemComDevice(int) { return ""; }

}  // namespace mirelle::serial
