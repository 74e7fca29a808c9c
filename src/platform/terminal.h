// Whether the program's progress display may redraw its lines in place.
#pragma once

namespace mirelle::sys {

// True when standard error is a terminal that takes the ANSI escape
// sequences that move the cursor and clear a line: a tty on Linux; on
// Windows a console, whose handling of the sequences this switches on (false
// when it cannot, so that the caller writes plain lines).
bool StandardErrorIsTerminal();

// The width of standard error's terminal in characters; 80 when it is none
// or does not say. A line redrawn in place must be shorter than this: one
// that wraps moves the cursor down a row the redraw does not know of.
int StandardErrorColumns();

}  // namespace mirelle::sys
