// Windows: a COM number is the device \\.\COMn itself, never mapped; the
// ports that exist are the COMn names the system knows as DOS devices.
#include "serial/device_list.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace mirelle::serial {

namespace {

// The system's text for an error code, without its line end.
std::string ErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n && text ? sys::Narrow(text) : "error " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

void CheckOpen(SerialDevice& d) {
    const HANDLE h = ::CreateFileW(sys::Widen(d.path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        d.open_error = e == ERROR_ACCESS_DENIED ? "in use by another program" : ErrorText(e);
        return;
    }
    d.can_open = true;
    ::CloseHandle(h);
}

}  // namespace

std::vector<SerialDevice> FindSerialDevices(const PortRoots&) {
    std::vector<SerialDevice> ports;
    for (int n = 1; n <= kHighestComNumber; ++n) {
        // The device name list: its first name is the one that matters.
        wchar_t target[1024] = {};
        const std::wstring name = L"COM" + std::to_wstring(n);
        const DWORD length = ::QueryDosDeviceW(name.c_str(), target, 1024);
        if (length == 0 && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) continue;
        SerialDevice port;
        const std::string com = "COM" + std::to_string(n);
        port.path = "\\\\.\\" + com;
        if (length != 0) port.system_device = sys::Narrow(target);
        port.com_names = {com};
        ports.push_back(std::move(port));
    }
    return ports;
}

std::vector<SerialDevice> ListSerialDevices(const PortRoots& roots, const std::string&) {
    std::vector<SerialDevice> ports = FindSerialDevices(roots);
    for (SerialDevice& port : ports) CheckOpen(port);
    return ports;
}

std::vector<std::string> SerialDeviceNames(const PortRoots& roots) {
    std::vector<std::string> out;
    for (const SerialDevice& port : FindSerialDevices(roots))
        out.push_back(port.com_names.front() + (port.system_device.empty() ? "" : " (" + port.system_device + ")"));
    return out;
}

OpenProblem DiagnoseOpenFailure(const std::string& device, std::string& group) {
    group.clear();
    // Asking for no access opens a device without touching its lines.
    const HANDLE h = ::CreateFileW(sys::Widen(device).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return OpenProblem::Missing;
        return OpenProblem::Other;
    }
    ::CloseHandle(h);
    return OpenProblem::Other;
}

std::string PortObstacle(const std::string&) { return {}; }

std::string DeviceProblemText(const std::string& device) {
    std::string group;
    switch (DiagnoseOpenFailure(device, group)) {
        case OpenProblem::Missing: return device + ": no such port";
        case OpenProblem::NoPermission: return device + ": access denied";
        case OpenProblem::Other: break;
    }
    return device + ": could not be opened (another program may hold the port)";
}

std::string SerialDevicesHint(int) {
    const std::vector<std::string> ports = SerialDeviceNames();
    std::string text = ports.empty() ? "no serial ports found" : "serial ports: ";
    for (std::size_t i = 0; i < ports.size(); ++i) text += (i ? ", " : "") + ports[i];
    return text;
}

std::string SystemComDevice(int com_number) { return "\\\\.\\COM" + std::to_string(com_number); }

}  // namespace mirelle::serial
