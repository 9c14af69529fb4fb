#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/terminal.h"

namespace termload::cli {

bool IsTerminal(std::FILE* out) {
    return isatty(fileno(out)) != 0;
}

int TerminalColumns(std::FILE* out) {
    winsize size{};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0) {
        return size.ws_col;
    }
    return 0;
}

}  // namespace termload::cli
