// Kept in a file of its own: the kernel's termios2 definitions clash with
// those of <termios.h>.
#include "chipsim/line_rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace mirelle::chipsim {

bool ReadLineRate(int fd, std::uint32_t& baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    baud = t.c_ospeed;
    return true;
}

}  // namespace mirelle::chipsim
