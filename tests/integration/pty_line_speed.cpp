#include "pty_line_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace mirelle::testing {

bool ReadKernelRates(int fd, KernelRates& out) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    out.output = t.c_ospeed;
    // An input field of zero means "the same as the output".
    out.input = ((t.c_cflag >> IBSHIFT) & CBAUD) == 0 ? t.c_ospeed : t.c_ispeed;
    return true;
}

bool SetKernelRates(int fd, const KernelRates& rates) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rates.input;
    t.c_ospeed = rates.output;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace mirelle::testing
