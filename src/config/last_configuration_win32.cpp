#include <windows.h>

#include <string>

#include "config/last_configuration.h"
#include "config/win32_text.h"

namespace termload {

namespace {

constexpr const wchar_t* kKeyPath = L"Software\\QTV\\M740DL";
constexpr const wchar_t* kLastConfigValue = L"LastConfig";
constexpr const wchar_t* kLastPathValue = L"LastPath";

class RegistryKey {
  public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// A string value; empty when missing, of another type or unreadable.
std::string ReadValue(HKEY key, const wchar_t* name) {
    return ReadRegistryText(key, name).value_or(std::string());
}

bool WriteValue(HKEY key, const wchar_t* name, const std::string& utf8) {
    const std::wstring value = WideFromUtf8(utf8);
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          bytes) == ERROR_SUCCESS;
}

}  // namespace

LastConfiguration LoadUserLastConfiguration(const std::filesystem::path&) {
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_QUERY_VALUE, key.Out()) !=
        ERROR_SUCCESS) {
        return {};
    }
    return {ReadValue(key.Get(), kLastConfigValue), ReadValue(key.Get(), kLastPathValue)};
}

bool SaveUserLastConfiguration(const LastConfiguration& last, const std::filesystem::path&) {
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.Out(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool config = WriteValue(key.Get(), kLastConfigValue, last.configPath);
    const bool path = WriteValue(key.Get(), kLastPathValue, last.baseDir);
    return config && path;
}

}  // namespace termload
