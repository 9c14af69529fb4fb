// Paths on Windows: the file system speaks UTF-16; the program's texts are UTF-8.
#include <windows.h>

#include <cstdlib>
#include <system_error>

#include "config/paths.h"
#include "config/win32_text.h"

namespace termload {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(WideFromUtf8(utf8));
}

std::string PathToUtf8(const std::filesystem::path& path) {
    return Utf8FromWide(path.native());
}

std::string NativePath(std::string_view path) {
    return std::string(path);
}

// Windows names are Unicode: the UTF-8 name is the name.
std::filesystem::path SourcePathOnDisk(std::string_view utf8) {
    return PathFromUtf8(NativePath(utf8));
}

std::filesystem::path ExecutableDir() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            std::error_code error;
            return std::filesystem::current_path(error);
        }
        // A full buffer may hold a cut name: try again with a larger one.
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(buffer).parent_path();
        }
        if (buffer.size() >= 32768) {
            std::error_code error;
            return std::filesystem::current_path(error);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::filesystem::path UserStoreDir() {
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData != nullptr && *appData != L'\0') {
        return std::filesystem::path(appData) / L"termload";
    }
    const wchar_t* profile = _wgetenv(L"USERPROFILE");
    const std::filesystem::path base =
        profile != nullptr && *profile != L'\0' ? std::filesystem::path(profile) : L".";
    return base / L"AppData" / L"Roaming" / L"termload";
}

}  // namespace termload
