// The serial port on a Windows COM device (\\.\COMn), configured through its
// DCB and COMMTIMEOUTS so that it behaves as the termios port does.
#pragma once

#include <string>

#include "serial/port.h"

namespace mirelle::serial {

// The device-namespace name of COM `com_number`, "\\.\COM12" for 12.
std::string Win32ComDeviceName(int com_number);

// Opens COM `com_number` exclusively and configures it at `baud`; the
// results are those of PortOpener.
PortResult OpenWin32Port(int com_number, std::uint32_t baud, std::unique_ptr<Port>& out);

}  // namespace mirelle::serial
