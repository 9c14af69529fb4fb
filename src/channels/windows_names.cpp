#include "channels/windows_names.h"

#include <cctype>
#include <charconv>
#include <string>

namespace termload {
namespace {

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Upper(text[i]) != Upper(prefix[i])) {
            return false;
        }
    }
    return true;
}

// The four hex digits after `field` ("VID_"), where the field starts the id's text or follows a
// separator; -1 when there is no such field.
int HexField(std::string_view id, std::string_view field) {
    for (std::size_t at = 0; at + field.size() + 4 <= id.size(); ++at) {
        const bool starts = at == 0 || id[at - 1] == '\\' || id[at - 1] == '&' ||
                            id[at - 1] == '+' || id[at - 1] == '#';
        if (!starts || !StartsWithNoCase(id.substr(at), field)) {
            continue;
        }
        const std::string_view digits = id.substr(at + field.size(), 4);
        int value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (error != std::errc{} || end != digits.data() + digits.size()) {
            return -1;
        }
        const std::size_t after = at + field.size() + 4;
        if (after < id.size() && std::isxdigit(static_cast<unsigned char>(id[after])) != 0) {
            return -1;
        }
        return value;
    }
    return -1;
}

}  // namespace

std::optional<int> ComNumberFromPortName(std::string_view name) {
    if (!StartsWithNoCase(name, "COM") || name.size() == 3) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(3);
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size() || digits[0] == '0' ||
        number < 1 || number > 255) {
        return std::nullopt;
    }
    return number;
}

std::optional<HardwareUsbIds> UsbIdsFromHardwareId(std::string_view hardwareId) {
    const int vendor = HexField(hardwareId, "VID_");
    const int product = HexField(hardwareId, "PID_");
    if (vendor < 0 || product < 0) {
        return std::nullopt;
    }
    return HardwareUsbIds{vendor, product};
}

}  // namespace termload
