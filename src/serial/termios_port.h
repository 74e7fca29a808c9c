// The serial port on a termios device (a USB adapter, a built-in UART, a
// pseudo-terminal).
#pragma once

#include "serial/port.h"

namespace mirelle::serial {

// Opens `device` exclusively and configures it at `baud`; the results are
// those of PortOpener.
PortResult OpenTermiosPort(const std::string& device, std::uint32_t baud, std::unique_ptr<Port>& out);

}  // namespace mirelle::serial
