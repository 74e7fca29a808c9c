// The port fault that makes the program report a given result code.
#pragma once

#include "serial/port.h"

namespace mirelle::test {

// 210 and 211 are the configuration failures; anything else does not open.
inline serial::PortResult PortFault(int code) {
    if (code == 210) return serial::PortResult::CannotReadSettings;
    if (code == 211) return serial::PortResult::CannotChangeSettings;
    return serial::PortResult::CannotOpen;
}

}  // namespace mirelle::test
