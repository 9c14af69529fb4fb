// What the CLI needs to know about the terminal it writes to.
#pragma once

#include <cstdio>

namespace termload::cli {

// True when `out` is a terminal that takes escape sequences (on Windows a console with them
// switched on), not a file or a pipe.
bool IsTerminal(std::FILE* out);

// Columns of the terminal window behind `out`; 0 when unknown.
int TerminalColumns(std::FILE* out);

}  // namespace termload::cli
