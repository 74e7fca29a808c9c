// Whether the program's progress display may redraw its lines in place.
#pragma once

namespace mirelle::sys {

// True when standard error is a terminal that takes the ANSI escape
// sequences that move the cursor and clear a line: a tty on Linux; on
// Windows a console, whose handling of the sequences this switches on (false
// when it cannot, so that the caller writes plain lines).
bool StandardErrorIsTerminal();

}  // namespace mirelle::sys
