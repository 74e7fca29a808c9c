#include <unistd.h>

#include "platform/terminal.h"

namespace mirelle::sys {

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace mirelle::sys
