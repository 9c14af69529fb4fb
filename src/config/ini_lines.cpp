#include "config/ini_lines.h"

#include <algorithm>
#include <cctype>

namespace termload {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// ASCII letters only: the names looked up are ASCII, and a GBK byte is never taken for one.
bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool IniLines::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    return Apply(section, key, Edit::SetValue, value);
}

bool IniLines::RenameKey(std::string_view section, std::string_view key, std::string_view newKey) {
    return Apply(section, key, Edit::Rename, newKey);
}

bool IniLines::DeleteKey(std::string_view section, std::string_view key) {
    return Apply(section, key, Edit::Delete, {});
}

bool IniLines::Apply(std::string_view section, std::string_view key, Edit edit,
                     std::string_view text) {
    std::string result;
    result.reserve(bytes_.size() + text.size());
    bool inSection = false;
    bool found = false;
    std::size_t at = 0;
    while (at < bytes_.size()) {
        const std::size_t lineFeed = bytes_.find('\n', at);
        const std::size_t next = lineFeed == std::string::npos ? bytes_.size() : lineFeed + 1;
        const std::string_view whole(bytes_.data() + at, next - at);
        // The line without its end (LF, or CR LF).
        std::string_view line = whole.substr(0, whole.find('\n'));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view ending = whole.substr(line.size());
        std::string_view content = line;
        if (at == 0 && content.starts_with(kUtf8Bom)) {
            content.remove_prefix(kUtf8Bom.size());
        }
        const std::string_view trimmed = Trim(content);
        at = next;
        if (trimmed.starts_with('[')) {
            const std::size_t close = trimmed.find(']');
            inSection = close != std::string_view::npos &&
                        SameName(Trim(trimmed.substr(1, close - 1)), section);
            result.append(whole);
            continue;
        }
        const std::size_t equals = content.find('=');
        if (!inSection || trimmed.starts_with(';') || trimmed.starts_with('#') ||
            equals == std::string_view::npos || !SameName(Trim(content.substr(0, equals)), key)) {
            result.append(whole);
            continue;
        }
        found = true;
        const std::size_t keyStart = content.find_first_not_of(" \t");
        const std::string_view before(line.data(), line.size() - content.size() + keyStart);
        const std::string_view afterKey = content.substr(Trim(content.substr(0, equals)).size() +
                                                         keyStart);  // blanks, "=", the value
        switch (edit) {
            case Edit::Delete:
                break;
            case Edit::Rename:
                result.append(before).append(text).append(afterKey).append(ending);
                break;
            case Edit::SetValue: {
                // The blanks after "=" stay with the key.
                const std::string_view value = content.substr(equals + 1);
                const std::size_t blanks = std::min(value.find_first_not_of(" \t"), value.size());
                result.append(line.substr(0, line.size() - content.size() + equals + 1 + blanks))
                    .append(text)
                    .append(ending);
                break;
            }
        }
    }
    bytes_ = std::move(result);
    return found;
}

}  // namespace termload
