#include "config/ini_document.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "config/file_system.h"
#include "config/text_encoding.h"

namespace termload {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t found; (found = text.find(from, pos)) != std::string_view::npos;) {
        result.append(text.substr(pos, found - pos));
        result.append(to);
        pos = found + from.size();
    }
    result.append(text.substr(pos));
    return result;
}

bool IsEntryOrSectionLine(std::string_view line) {
    const std::string_view trimmed = TrimBlanks(line);
    return !trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#';
}

// Splits off the lines after the last entry or section line when they hold a comment.
std::string SplitOffTrailingComment(std::string& text) {
    std::size_t tailStart = text.size();
    bool hasComment = false;
    while (tailStart > 0) {
        // The line that ends at tailStart, without its '\n'.
        const std::size_t lineEnd = text[tailStart - 1] == '\n' ? tailStart - 1 : tailStart;
        const std::size_t newline =
            lineEnd == 0 ? std::string::npos : text.rfind('\n', lineEnd - 1);
        const std::size_t lineStart = newline == std::string::npos ? 0 : newline + 1;
        const std::string_view line(text.data() + lineStart, lineEnd - lineStart);
        if (IsEntryOrSectionLine(line)) {
            break;
        }
        hasComment = hasComment || !TrimBlanks(line).empty();
        tailStart = lineStart;
    }
    if (!hasComment) {
        return {};
    }
    std::string tail = text.substr(tailStart);
    text.resize(tailStart);
    return tail;
}

// Splits off the lines before the first entry or section line when they hold a comment.
std::string SplitOffLeadingComment(std::string& text) {
    std::size_t headEnd = 0;
    bool hasComment = false;
    while (headEnd < text.size()) {
        const std::size_t newline = text.find('\n', headEnd);
        const std::size_t lineEnd = newline == std::string::npos ? text.size() : newline;
        const std::string_view line(text.data() + headEnd, lineEnd - headEnd);
        if (IsEntryOrSectionLine(line)) {
            break;
        }
        hasComment = hasComment || !TrimBlanks(line).empty();
        headEnd = newline == std::string::npos ? text.size() : newline + 1;
    }
    if (!hasComment) {
        return {};
    }
    std::string head = text.substr(0, headEnd);
    text.erase(0, headEnd);
    return head;
}

// The INI layer puts two blank lines before each section; one is enough.
std::string CollapseBlankLines(std::string_view text) {
    std::string collapsed;
    collapsed.reserve(text.size());
    for (const char c : text) {
        if (c == '\n' && collapsed.ends_with("\n\n")) {
            continue;
        }
        collapsed += c;
    }
    return collapsed;
}

// Decimal, or hexadecimal after "0x" or "$", with an optional sign.
bool ParseInteger(std::string_view text, int& value) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.starts_with("$")) {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return false;
    }
    if (base == 16) {
        // Hexadecimal texts cover the 32 bits, as 0xFFFFFFFF = -1.
        if (magnitude > UINT32_MAX) {
            return false;
        }
        const auto bits = static_cast<std::uint32_t>(magnitude);
        value = static_cast<int>(negative ? 0u - bits : bits);
        return true;
    }
    const std::uint64_t limit = negative ? std::uint64_t{INT_MAX} + 1 : std::uint64_t{INT_MAX};
    if (magnitude > limit) {
        return false;
    }
    value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude))
                     : static_cast<int>(magnitude);
    return true;
}

}  // namespace

IniDocument::IniDocument() : ini_(false, true, false), stored_(false, true, false) {
    ini_.SetSpaces(false);
}

IniDocument::LoadStatus IniDocument::Load(const std::filesystem::path& path) {
    LoadBytes({});
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return LoadStatus::Missing;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        return LoadStatus::Unreadable;
    }
    if (size > kMaxFileBytes) {
        return LoadStatus::TooLarge;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return LoadStatus::Unreadable;
    }
    // One byte more than allowed tells a file that grew since its size was taken.
    std::string bytes(static_cast<std::size_t>(size) + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        return LoadStatus::Unreadable;
    }
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    if (bytes.size() > size) {
        return LoadStatus::TooLarge;
    }
    LoadBytes(bytes);
    return LoadStatus::Ok;
}

void IniDocument::LoadBytes(std::string_view bytes) {
    ini_.Reset();
    head_.clear();
    tail_.clear();
    bom_ = bytes.starts_with(kUtf8Bom);
    if (bom_) {
        bytes.remove_prefix(kUtf8Bom.size());
    }
    const std::size_t firstNewline = bytes.find('\n');
    crlf_ = firstNewline != std::string_view::npos && firstNewline > 0 &&
            bytes[firstNewline - 1] == '\r';
    // The INI layer reads up to the first NUL byte only.
    const std::size_t nul = bytes.find('\0');
    rewritable_ = nul == std::string_view::npos;
    cutAtNul_.reset();
    if (nul != std::string_view::npos &&
        bytes.find_first_not_of(std::string_view(" \t\r\n\0", 5), nul) != std::string_view::npos) {
        cutAtNul_ = nul + (bom_ ? kUtf8Bom.size() : 0);
    }
    gbk_ = !IsValidUtf8(bytes);
    stored_.Reset();
    if (gbk_) {
        const std::string stored = ReplaceAll(bytes, "\r\n", "\n");
        stored_.LoadData(stored.data(), stored.size());
    }
    std::string text = gbk_ ? GbkToUtf8(bytes) : std::string(bytes);
    if (gbk_ && Utf8ToGbk(text) != bytes) {
        rewritable_ = false;
    }
    text = ReplaceAll(text, "\r\n", "\n");
    head_ = SplitOffLeadingComment(text);
    tail_ = SplitOffTrailingComment(text);
    ini_.LoadData(text.data(), text.size());
}

std::string IniDocument::ToBytes() const {
    std::string text;
    ini_.Save(text, false);
    // The INI layer ends its lines with CRLF on Windows: the file's own line ends come below.
    text = CollapseBlankLines(ReplaceAll(text, "\r\n", "\n"));
    if (!tail_.empty() && !text.empty() && text.back() != '\n') {
        text += '\n';
    }
    text += tail_;
    if (!head_.empty() && !text.empty() && head_.back() != '\n') {
        text.insert(0, "\n");
    }
    text.insert(0, head_);
    if (crlf_) {
        text = ReplaceAll(text, "\n", "\r\n");
    }
    if (gbk_) {
        text = Utf8ToGbk(text);
    }
    if (bom_) {
        text.insert(0, kUtf8Bom);
    }
    return text;
}

bool IniDocument::Save(const std::filesystem::path& path) const {
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(path, error);
    if (error) {
        target = path;
    }
    const std::string bytes = ToBytes();
    return ReplaceFileWith(target, bytes) || OverwriteFileWith(target, bytes);
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
    const char* value = ini_.GetValue(std::string(section).c_str(), std::string(key).c_str());
    if (value == nullptr) {
        return std::string(fallback);
    }
    return std::string(CutToBytes(TrimBlanks(value), kMaxValueBytes));
}

std::string IniDocument::ReadStoredBytes(std::string_view section, std::string_view key,
                                         std::string_view fallback) const {
    if (!gbk_) {
        return ReadString(section, key, fallback);
    }
    const char* value = stored_.GetValue(std::string(section).c_str(), std::string(key).c_str());
    if (value == nullptr) {
        return std::string(fallback);
    }
    return std::string(TrimBlanks(value).substr(0, kMaxValueBytes));
}

std::optional<std::string> IniDocument::ReadWholeValue(std::string_view section,
                                                       std::string_view key) const {
    const char* value = ini_.GetValue(std::string(section).c_str(), std::string(key).c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

int IniDocument::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
    const char* value = ini_.GetValue(std::string(section).c_str(), std::string(key).c_str());
    int parsed = 0;
    if (value == nullptr || !ParseInteger(TrimBlanks(value), parsed)) {
        return fallback;
    }
    return parsed;
}

bool IniDocument::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
    CSimpleIniA::TNamesDepend entries;
    ini_.GetAllKeys(std::string(section).c_str(), entries);
    entries.sort(CSimpleIniA::Entry::LoadOrder());
    // The INI layer lists a key that appears twice once, as it reads as one value.
    std::vector<std::string> keys;
    for (const CSimpleIniA::Entry& entry : entries) {
        keys.emplace_back(entry.pItem);
    }
    return keys;
}

void IniDocument::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    // A line break in a value would start a new line of the file.
    std::string oneLine(value);
    for (char& c : oneLine) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    ini_.SetValue(std::string(section).c_str(), std::string(key).c_str(), oneLine.c_str(), nullptr,
                  true);
}

void IniDocument::DeleteKey(std::string_view section, std::string_view key) {
    ini_.Delete(std::string(section).c_str(), std::string(key).c_str(), false);
}

void IniDocument::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void IniDocument::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

}  // namespace termload
