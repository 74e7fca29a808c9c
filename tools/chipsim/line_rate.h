// The rate set on a terminal line, any rate included (not only the standard
// B-constants). On a pseudo-terminal's master side it is the rate the program
// on the slave side has set.
#pragma once

#include <cstdint>

namespace mirelle::chipsim {

// False when the settings cannot be read.
bool ReadLineRate(int fd, std::uint32_t& baud);

}  // namespace mirelle::chipsim
