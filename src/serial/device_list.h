// The serial devices of this machine and why a COM number's device did not
// open, told to the user so that they see what to map (mirelle-cli ports
// --map) or what to fix (the group that may open serial devices).
#pragma once

#include <string>
#include <vector>

namespace mirelle::serial {

// The serial devices that exist, one text each. On Linux the device, followed
// by its stable names under <dev>/serial/by-id in parentheses. A device counts when
// <sys>/<name> has a "device" link (so virtual consoles and pseudo-terminals
// do not) and, for a UART port, a known port type (so the sixteen or more
// ttyS nodes of a PC without the hardware do not). Sorted by name. On
// Windows (the roots unused) the COM ports of ListComPorts, "COM3" followed by
// the system's device for it in parentheses.
std::vector<std::string> ListSerialDevices(const std::string& dev_root = "/dev/",
                                           const std::string& sys_root = "/sys/class/tty/");

// Windows: a COM port that exists, with the device the system names for it
// (\Device\Serial0; under Wine its Linux device).
struct ComPort {
    int number = 0;  // 1 to 255
    std::string device;
    bool can_open = false;   // whether it opened just now (when asked)
    std::string open_error;  // why not
};

// Windows: the COM ports COM1 to COM255 that exist, by number; with
// `check_open` each is opened and closed again to tell whether it is free
// (never while a run may be opening them). Built on Windows only.
std::vector<ComPort> ListComPorts(bool check_open);

enum class OpenProblem { Missing, NoPermission, Other };

// Why `device` would not open, judged without opening it (opening toggles
// DTR and RTS, which resets some boards). `group` receives the device's
// group, the one a user must belong to ("dialout" on Debian).
OpenProblem DiagnoseOpenFailure(const std::string& device, std::string& group);

// The serial devices that exist and how to map one to COM `com_number`
// ("N" when it is not known), as one line's end: "serial devices: ...; map
// one with: mirelle-cli ports --map 3 DEVICE".
std::string SerialDevicesHint(int com_number);

// One line for a COM number whose device did not open: the device and why,
// then the serial devices that exist and how to map one.
std::string PortProblemText(int com_number, const std::string& device);

}  // namespace mirelle::serial
