// POSIX: a program's standard output is always its parent's terminal or pipe.
#include "app/parent_console.h"

namespace termload {

void UseParentConsole() {}

}  // namespace termload
