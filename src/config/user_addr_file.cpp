#include "config/user_addr_file.h"

#include <fstream>
#include <system_error>

#include "config/text_encoding.h"

namespace termload {

namespace {

// A user address file holds a few dozen lines; anything far larger is not one.
constexpr std::uintmax_t kMaxFileBytes = 1u << 20;
constexpr std::size_t kLinesPerGroup = 4;

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > kMaxFileBytes) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    bytes.assign(static_cast<std::size_t>(size), '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return !file.bad();
}

// Lines without their line ends; a file written on Windows leaves a CR that is no part of the
// value.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

// The text after the line's first "=", or the whole line; cut to `maxBytes` GBK bytes.
std::string ValueOf(std::string_view line, std::size_t maxBytes) {
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
        line.remove_prefix(equals + 1);
    }
    return std::string(CutToDisplayWidth(line, maxBytes));
}

}  // namespace

bool ReadUserAddrFile(const std::filesystem::path& path, UserAddressTable& table) {
    table.clear();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        return false;
    }
    ParseUserAddrText(bytes, table);
    return true;
}

void ParseUserAddrText(std::string_view bytes, UserAddressTable& table) {
    table.clear();
    const std::string text = IsValidUtf8(bytes) ? std::string(bytes) : GbkToUtf8(bytes);
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t first = 0; first < lines.size(); first += kLinesPerGroup) {
        // A group cut off by the end of the file has empty values and is left out.
        auto lineAt = [&](std::size_t offset) {
            return first + offset < lines.size() ? lines[first + offset] : std::string_view{};
        };
        UserAddressRecord record{ValueOf(lineAt(1), kUserAddrNameMax),
                                 ValueOf(lineAt(2), kUserAddrAddressMax),
                                 ValueOf(lineAt(3), kUserAddrAddressMax)};
        if (!record.name.empty() && !record.startAddr.empty() && !record.endAddr.empty()) {
            table.push_back(std::move(record));
        }
    }
}

}  // namespace termload
