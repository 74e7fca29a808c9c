// The line rate of a terminal device through the kernel's termios2 record,
// which carries the rate as an integer and so allows any rate the driver
// accepts. Kept apart from <termios.h>: the kernel's terminal headers and the
// C library's define the same names differently, so only termios2_speed.cpp
// includes the kernel's.
#pragma once

#include <cstdint>

namespace mirelle::serial {

enum class SpeedResult { Ok, ReadFailed, SetFailed };

// Sets both directions of `fd` to `baud` bits per second: a standard rate by
// its speed code, any other rate as an arbitrary one. Nothing but the rate
// changes.
SpeedResult SetLineSpeed(int fd, std::uint32_t baud);

// The output rate that the driver reports for `fd`; false when it cannot be read.
bool ReadLineSpeed(int fd, std::uint32_t& baud);

}  // namespace mirelle::serial
