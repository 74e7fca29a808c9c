// The rates of a terminal as the kernel stores them, read independently of the
// port code (the kernel's termios2 record; see pty_line_speed.cpp).
#pragma once

#include <cstdint>

namespace mirelle::testing {

struct KernelRates {
    std::uint32_t input = 0;
    std::uint32_t output = 0;
};

// Reads the rates of the terminal behind `fd`; on a pseudo-terminal's master
// these are the slave's. False when the call failed.
bool ReadKernelRates(int fd, KernelRates& out);

// Sets the two rates separately, as arbitrary rates; false when refused.
bool SetKernelRates(int fd, const KernelRates& rates);

}  // namespace mirelle::testing
