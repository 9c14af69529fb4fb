#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>

#include "cli/process_start.h"
#include "config/paths.h"

namespace termload::cli {
namespace {

UINT earlierOutputCodePage = 0;

void RestoreOutputCodePage() {
    if (earlierOutputCodePage != 0) {
        SetConsoleOutputCP(earlierOutputCodePage);
    }
}

void EnableEscapes(DWORD handleName) {
    const HANDLE console = GetStdHandle(handleName);
    DWORD mode = 0;
    if (console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode)) {
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

}  // namespace

void PrepareProcess() {
    // Without a console (output into a file or a pipe) there is no code page to set.
    const UINT current = GetConsoleOutputCP();
    if (current != 0 && current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        earlierOutputCodePage = current;
        std::atexit(RestoreOutputCodePage);
    }
    EnableEscapes(STD_OUTPUT_HANDLE);
    EnableEscapes(STD_ERROR_HANDLE);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(PathToUtf8(std::filesystem::path(wide[i])));
    }
    LocalFree(wide);
    return arguments;
}

}  // namespace termload::cli
