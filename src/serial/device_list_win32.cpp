// Windows: a COM number is the device \\.\COMn itself, never mapped, so there
// is no device list to offer; the Device Manager shows the machine's ports.
#include "serial/device_list.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace mirelle::serial {

std::vector<std::string> ListSerialDevices(const std::string&, const std::string&) { return {}; }

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

std::string SerialDevicesHint(int) { return "the Device Manager lists the serial ports of this machine"; }

std::string PortProblemText(int com_number, const std::string& device) {
    const std::string com = "COM" + std::to_string(com_number);
    std::string group;
    std::string text = com + " is " + device;
    switch (DiagnoseOpenFailure(device, group)) {
        case OpenProblem::Missing:
            text += ", which does not exist";
            break;
        case OpenProblem::NoPermission:
        case OpenProblem::Other:
            text += ", which could not be opened (another program may be using it)";
            break;
    }
    return text + "; " + SerialDevicesHint(com_number);
}

}  // namespace mirelle::serial
