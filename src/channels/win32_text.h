// UTF-8 <-> UTF-16 and registry text for the Windows backends (included by *_win32.cpp only).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace termload {

// Empty for empty or malformed text.
inline std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), size);
    return wide;
}

inline std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                        nullptr, nullptr);
    return narrow;
}

// A REG_SZ value of an open key, bounded; nothing when missing, of another type or too long.
inline std::optional<std::string> ReadRegistryText(HKEY key, const wchar_t* name) {
    constexpr DWORD kMaxBytes = 1024;
    wchar_t buffer[kMaxBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = 0;
    DWORD size = kMaxBytes;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    // The stored text need not end with a 0: take what the size says, up to a first 0.
    std::wstring_view text(buffer, size / sizeof(wchar_t));
    text = text.substr(0, text.find(L'\0'));
    return Utf8FromWide(text);
}

}  // namespace termload
