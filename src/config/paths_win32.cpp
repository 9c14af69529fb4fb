// Paths on Windows: the file system speaks UTF-16; the program's texts are UTF-8.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <system_error>

#include "config/paths.h"

namespace termload {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    // Invalid bytes become U+FFFD rather than failing the whole name.
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    }
    return std::filesystem::path(wide);
}

std::string PathToUtf8(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    }
    return utf8;
}

std::string NativePath(std::string_view path) {
    return std::string(path);
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
