#include <io.h>
#include <windows.h>

#include "cli/terminal.h"

namespace termload::cli {

// The live view draws with escape sequences: a console that does not take them (before
// Windows 10) gets the plain lines instead.
bool IsTerminal(std::FILE* out) {
    if (_isatty(_fileno(out)) == 0) {
        return false;
    }
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
    DWORD mode = 0;
    return console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode) &&
           (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalColumns(std::FILE* out) {
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace termload::cli
