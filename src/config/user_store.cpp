#include "config/user_store.h"

#include <charconv>
#include <system_error>

#include "config/ini_document.h"

namespace termload {

namespace {

constexpr std::string_view kPortsSection = "Ports";
constexpr std::string_view kStoreSection = "Termload";
constexpr std::string_view kLastConfigKey = "LastConfig";
constexpr std::string_view kLastPathKey = "LastPath";

// The n of a key "COM<n>", any letter case; 0 when the key has another form.
int ComNumberOf(std::string_view key) {
    if (key.size() < 4) {
        return 0;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if ((key[i] | 0x20) != "com"[i]) {
            return 0;
        }
    }
    return ComNumberFromDigits(key.substr(3));
}

}  // namespace

int ComNumberFromDigits(std::string_view digits) {
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size() || number < 1 ||
        number > kHighestComNumber) {
        return 0;
    }
    return number;
}

std::map<int, std::string> ReadPortsSection(const std::filesystem::path& ini) {
    IniDocument document;
    std::map<int, std::string> ports;
    if (document.Load(ini) != IniDocument::LoadStatus::Ok) {
        return ports;
    }
    for (const std::string& key : document.Keys(kPortsSection)) {
        const int number = ComNumberOf(key);
        std::string device = document.ReadString(kPortsSection, key, "");
        if (number != 0 && !device.empty()) {
            ports.emplace(number, std::move(device));
        }
    }
    return ports;
}

LastConfiguration ReadLastConfiguration(const std::filesystem::path& store) {
    IniDocument document;
    document.Load(store);
    return {document.ReadString(kStoreSection, kLastConfigKey, ""),
            document.ReadString(kStoreSection, kLastPathKey, "")};
}

bool WriteLastConfiguration(const LastConfiguration& last, const std::filesystem::path& store) {
    std::error_code error;
    std::filesystem::create_directories(store.parent_path(), error);
    IniDocument document;
    const IniDocument::LoadStatus status = document.Load(store);
    if (status != IniDocument::LoadStatus::Ok && status != IniDocument::LoadStatus::Missing) {
        return false;
    }
    if (!document.Rewritable()) {
        return false;
    }
    document.WriteString(kStoreSection, kLastConfigKey, last.configPath);
    document.WriteString(kStoreSection, kLastPathKey, last.baseDir);
    return document.Save(store);
}

}  // namespace termload
