// Windows: output redirected to a file or pipe is already there; a console has to be attached.
#include "app/parent_console.h"

#include <windows.h>

#include <cstdio>

namespace termload {

void UseParentConsole() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE &&
        GetFileType(output) != FILE_TYPE_UNKNOWN) {
        return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
    }
}

}  // namespace termload
