// A console is recognised by its mode: isatty also says yes for the NUL
// device, which would fill a redirected error stream with redraws.
#include <windows.h>

#include "platform/terminal.h"

namespace mirelle::sys {

bool StandardErrorIsTerminal() {
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err == nullptr || err == INVALID_HANDLE_VALUE || !::GetConsoleMode(err, &mode)) return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
    return ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int StandardErrorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

}  // namespace mirelle::sys
