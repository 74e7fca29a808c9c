// The one COM port of the process. Empty while the port is closed.
#pragma once

#include <memory>

#include "serial/port.h"

namespace mirelle {

extern std::unique_ptr<serial::Port> g_hCom;

// The result code that reports a port's open or configuration result (0 for Ok).
int PortResultCode(serial::PortResult r);

}  // namespace mirelle
