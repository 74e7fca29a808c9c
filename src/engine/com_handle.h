// The one COM port of the process. Empty while the port is closed.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "serial/port.h"

namespace mirelle {

extern std::unique_ptr<serial::Port> g_hCom;

// The result code that reports a port's open or configuration result (0 for Ok).
int PortResultCode(serial::PortResult r);

// Told, in one line, why the device of a COM number did not open and which
// serial devices exist (serial::PortProblemText). The result log and the
// window's messages stay as they are; mirelle sends the line to standard
// error and mirelle-cli keeps it for its final line. Empty: nobody is told.
using PortProblemSink = std::function<void(const std::string& line)>;
PortProblemSink& ActivePortProblemSink();

}  // namespace mirelle
