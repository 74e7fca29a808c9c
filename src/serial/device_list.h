// The serial devices of this machine, as `mirelle-cli ports` lists them and
// as the hint after a failed open names them, and why a device did not open,
// told to the user so that they see what to map (mirelle-cli ports --map) or
// what to fix (the group that may open serial devices).
//
// On Linux a device is a tty that sysfs ties to hardware: <sys>/class/tty/NAME
// has a "device" link (so virtual consoles and pseudo-terminals do not
// count), and a UART's port type is known (so the sixteen or more ttyS nodes
// of a PC without the hardware do not count either). COM numbers go through
// the [Ports] map of Customize.ini. On Windows the devices are the COM ports
// that the system knows (COM1 to COM255), COMn is always \\.\COMn, and the
// roots and the map are not used.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace mirelle::serial {

constexpr int kHighestComNumber = 255;  // COM numbers go from 1 to this

struct SerialDevice {
    std::string path;                    // /dev/ttyUSB0; on Windows \\.\COM3
    std::string system_device;           // Windows: the system's device (\Device\Serial0)
    std::vector<std::string> by_id;      // /dev/serial/by-id/... links to it, sorted
    std::string usb_id;                  // "0403:6001", empty when not on USB
    std::string serial_number;
    std::string driver;                  // ftdi_sio, cp210x, serial8250...
    bool can_open = false;               // whether it opened just now (when asked)
    std::string open_error;              // why not, when it could not be opened
    std::vector<std::string> com_names;  // COM3: from [Ports] on Linux, the port itself on Windows
};

// Where the system shows its devices; a fake tree can stand in for it.
struct PortRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

// The [Ports] entries of the Customize.ini text: COM number and device.
std::vector<std::pair<int, std::string>> PortMap(const std::string& customize_text);

// The serial devices that exist, sorted by path (on Windows by number), none
// of them opened (opening toggles DTR and RTS, which resets some boards). On
// Linux with their by-id links, USB ids, serial number and driver, also those
// whose device node is missing under <dev>.
std::vector<SerialDevice> FindSerialDevices(const PortRoots& roots = {});

// What `mirelle-cli ports` lists: the serial devices, plus on Linux each
// device of the [Ports] map that is not among them, with the COM names that
// the map gives them; each opened and closed again to tell whether it is free
// (never while a run may be opening them). Sorted as FindSerialDevices.
std::vector<SerialDevice> ListSerialDevices(const PortRoots& roots, const std::string& customize_text);

// The listing as text, one block per device, or one JSON object per line.
std::string FormatSerialDevices(const std::vector<SerialDevice>& devices, bool json);

// The devices that exist, one short text each, as the hint names them. On
// Linux the device node, followed by its by-id links in parentheses (a
// device without a node is left out); on Windows "COM3" followed by the
// system's device in parentheses.
std::vector<std::string> SerialDeviceNames(const PortRoots& roots = {});

// The system's own device of COM `com_number`: \\.\COM3 on Windows; ""
// on Linux, where COM numbers go through the [Ports] map of Customize.ini.
std::string SystemComDevice(int com_number);

enum class OpenProblem { Missing, NoPermission, Other };

// Why `device` would not open, judged without opening it. `group` receives
// the device's group, the one a user must belong to ("dialout" on Debian).
OpenProblem DiagnoseOpenFailure(const std::string& device, std::string& group);

// What keeps a device that exists from serving as the port, judged by
// looking at it: " is not a serial port (...)" for a file or a device that
// is no terminal, " is in use by another program (process N holds the lock
// file PATH)" when a program holds its lock file, flock or exclusive open;
// empty when none of these is seen (always on Windows).
std::string PortObstacle(const std::string& device);

// What a user who may not open the devices of `group` is told: "the user must
// be in the group dialout (sudo usermod -aG dialout $USER, then log in
// again)". Every text about a refused permission says it this way.
std::string GroupAdvice(const std::string& group);

// Why `device` cannot be opened, said so that the user can act on it:
// "/dev/ttyUSB0: Permission denied; the user must be in the group ...". On
// Linux the device is opened (without waiting for a carrier) to find out,
// so that a device that opens is told as one that refused its settings.
std::string DeviceProblemText(const std::string& device);

// What mirelle-cli says of a port that failed: what PortObstacle sees in the
// way, else DeviceProblemText and, when the device did not open
// (`open_failed`), the serial devices there are to map to COM `com_number`.
std::string PortFailureText(const std::string& device, int com_number, bool open_failed);

// The serial devices that exist and how to map one to COM `com_number`
// ("N" when it is not known), as one line's end: "serial devices: ...; map
// one with: mirelle-cli ports --map 3 DEVICE". On Windows the COM ports.
std::string SerialDevicesHint(int com_number);

// One line for a COM number whose device did not open: the device and why,
// then the serial devices that exist and how to map one.
std::string PortProblemText(int com_number, const std::string& device);

}  // namespace mirelle::serial
