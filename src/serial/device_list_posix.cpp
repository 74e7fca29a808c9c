#include "serial/device_list.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirelle::serial {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

// A UART whose port type reads 0 (PORT_UNKNOWN) has no hardware behind it.
bool UnknownUart(const fs::path& sys_entry) {
    std::ifstream in(sys_entry / "type");
    int type = -1;
    return in >> type && type == 0;
}

}  // namespace

std::vector<std::string> ListSerialDevices(const std::string& dev_root, const std::string& sys_root) {
    const std::string dev = WithSlash(dev_root);
    // Stable names first, by the device node they point at.
    std::map<std::string, std::vector<std::string>> by_id;
    std::error_code ec;
    for (fs::directory_iterator it(dev + "serial/by-id", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code one;
        const fs::path target = fs::canonical(it->path(), one);
        if (!one) by_id[target.filename().string()].push_back(it->path().generic_string());
    }
    std::map<std::string, std::string> found;  // sorted by device name
    for (fs::directory_iterator it(sys_root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code one;
        if (!fs::exists(it->path() / "device", one) || UnknownUart(it->path())) continue;
        if (!fs::exists(dev + name, one)) continue;
        std::string text = dev + name;
        if (auto links = by_id.find(name); links != by_id.end()) {
            std::sort(links->second.begin(), links->second.end());
            for (std::size_t i = 0; i < links->second.size(); ++i)
                text += (i == 0 ? " (" : ", ") + links->second[i];
            text += ")";
        }
        found[name] = text;
    }
    std::vector<std::string> out;
    for (auto& [name, text] : found) out.push_back(std::move(text));
    return out;
}

OpenProblem DiagnoseOpenFailure(const std::string& device, std::string& group) {
    group = "dialout";
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return OpenProblem::Missing;
    if (const struct group* g = ::getgrgid(st.st_gid); g && g->gr_name && *g->gr_name && st.st_gid != 0)
        group = g->gr_name;
    if (::access(device.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return OpenProblem::NoPermission;
    return OpenProblem::Other;
}

std::string SerialDevicesHint(int com_number) {
    const std::vector<std::string> devices = ListSerialDevices();
    std::string text = devices.empty() ? "no serial devices found" : "serial devices: ";
    for (std::size_t i = 0; i < devices.size(); ++i) text += (i ? ", " : "") + devices[i];
    return text + "; map one with: mirelle-cli ports --map " + (com_number > 0 ? std::to_string(com_number) : "N") +
           " DEVICE";
}

}  // namespace mirelle::serial
