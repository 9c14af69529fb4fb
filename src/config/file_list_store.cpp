// The file list in the configuration file: "RecentCount" and "Recent<n>" in section "History"
// ("kind;file name;destination"), the full source path of each row as "Path<n>" in "Path".
#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

#include "config/file_list.h"
#include "config/ini_document.h"
#include "config/paths.h"
#include "config/text_encoding.h"

namespace termload {

namespace {

constexpr std::string_view kHistorySection = "History";
constexpr std::string_view kPathSection = "Path";
constexpr std::string_view kCountKey = "RecentCount";

std::string RecentKey(std::size_t row) {
    return "Recent" + std::to_string(row);
}

std::string PathKey(std::size_t row) {
    return "Path" + std::to_string(row);
}

// Where row `row`'s file is: in debug mode the directory stored for the row, else `baseDir`.
std::string SourceOf(const IniDocument& ini, std::size_t row, std::string_view baseDir,
                     bool debugMode, std::string_view name) {
    if (!debugMode) {
        return JoinPath(baseDir, name);
    }
    const std::string stored = ini.ReadString(kPathSection, PathKey(row), JoinPath(baseDir, name));
    const std::string dir = DirectoryPart(NativePath(stored));
    return JoinPath(dir.empty() ? baseDir : std::string_view(dir), name);
}

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// A name with bytes that are neither UTF-8 nor GBK lost them when the file was read as GBK; on
// disk the file has those very bytes, so the row takes the name as stored. Such a file is never
// written back, so the bytes go nowhere but to the file system.
std::string StoredName(const IniDocument& ini, std::size_t row, const std::string& decoded) {
    const std::string stored = ini.ReadStoredBytes(kHistorySection, RecentKey(row), "");
    const std::size_t nameEnd = stored.find(';', 2);
    if (stored.size() < 2 || nameEnd == std::string::npos) {
        return decoded;
    }
    const std::string name(TrimBlanks(FileNamePart(stored.substr(2, nameEnd - 2))));
    return name.empty() ? decoded : name;
}

// The numbers below `count` of the rows stored as "Recent<n>", ascending.
std::vector<std::size_t> StoredRows(const IniDocument& ini, int count) {
    constexpr std::string_view kPrefix = "recent";
    std::vector<std::size_t> rows;
    for (const std::string& key : ini.Keys(kHistorySection)) {
        if (key.size() <= kPrefix.size() || key.size() > kPrefix.size() + 9) {
            continue;
        }
        std::string prefix = key.substr(0, kPrefix.size());
        std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::string digits = key.substr(kPrefix.size());
        std::size_t row = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), row);
        // "Recent01" is no row's key: the rows are read as "Recent1".
        if (prefix != kPrefix || error != std::errc{} || end != digits.data() + digits.size() ||
            std::to_string(row) != digits || static_cast<long long>(row) >= count) {
            continue;
        }
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

}  // namespace

void ReadFileList(const IniDocument& ini, FileList& files, std::string_view baseDir, bool debugMode,
                  std::vector<PromptMessage>& messages) {
    const int count = ini.ReadInteger(kHistorySection, kCountKey, 0);
    const std::size_t droppedBefore = files.Dropped().size();
    bool listFullShown = false;
    // Only the rows stored are visited, so a huge count costs nothing; a number missing before
    // a stored row is a gap that is named once.
    std::size_t next = 0;
    for (const std::size_t row : StoredRows(ini, count)) {
        if (row > next) {
            files.NoteDropped(
                row == next + 1 ? RecentKey(next) : RecentKey(next) + "-" + RecentKey(row - 1),
                RowFault::Missing);
        }
        next = row + 1;
        const std::string value = ini.ReadString(kHistorySection, RecentKey(row), "");
        if (value.empty()) {
            files.NoteDropped(RecentKey(row), RowFault::Empty);
            continue;
        }
        if (value.front() < '0' || value.front() > '9') {
            const std::string_view first(value.data(),
                                         value.size() - SkipCharacters(value, 1).size());
            messages.push_back(
                {PromptKind::Error, "'" + std::string(first) + "' is not a valid integer value"});
            files.NoteDropped(RecentKey(row), RowFault::NotKind);
            break;
        }
        // Kind digit and ";", then the file name up to the next ";", then the destination.
        const std::string_view afterKind = SkipCharacters(value, 2);
        const std::size_t nameEnd = afterKind.find(';');
        std::string name(TrimBlanks(FileNamePart(afterKind.substr(0, nameEnd))));
        if (name.find(kReplacementCharacter) != std::string::npos && !ini.Rewritable()) {
            name = StoredName(ini, row, name);
        }
        if (nameEnd == std::string::npos || name.empty()) {
            files.NoteDropped(name.empty() ? RecentKey(row) : name,
                              name.empty() ? RowFault::NoSource : RowFault::NoDestination);
            continue;
        }
        const std::string_view rest = afterKind.substr(nameEnd + 1);
        const std::string_view destination = TrimBlanks(rest.substr(0, rest.find(';')));
        const std::string source = SourceOf(ini, row, baseDir, debugMode, name);
        if (destination.empty()) {
            files.NoteDropped(source, RowFault::NoDestination);
            continue;
        }
        const AddRowResult result = files.AddFileRow(value.front() - '0', source, destination);
        files.NoteDropped(source, result);
        // One warning for a full list is enough; the later rows are only noted.
        if (result == AddRowResult::ListFull && listFullShown) {
            continue;
        }
        listFullShown = listFullShown || result == AddRowResult::ListFull;
        std::string message = AddRowMessage(files.LangBase(), result, source);
        if (!message.empty()) {
            messages.push_back({PromptKind::Warning, std::move(message)});
        }
    }
    if (const auto nul = ini.CutAtNul()) {
        files.NoteDropped(std::to_string(*nul), RowFault::CutAtNul);
    }

    // The rows AddFileRow refused have had their own warning; the others are named together.
    std::vector<DroppedRow> unnamed;
    for (std::size_t i = droppedBefore; i < files.Dropped().size(); ++i) {
        const RowFault fault = files.Dropped()[i].fault;
        if (fault != RowFault::ListFull && fault != RowFault::SourceTooLong &&
            fault != RowFault::InvalidSource && fault != RowFault::NotKind) {
            unnamed.push_back(files.Dropped()[i]);
        }
    }
    if (!unnamed.empty()) {
        messages.push_back({PromptKind::Warning, DroppedRowsText(files.LangBase(), unnamed)});
    }
    if (const auto same = FindSameDestination(files.FileEntries())) {
        messages.push_back({PromptKind::Warning, SameDestinationText(files.LangBase(), *same)});
    }
}

void WriteFileList(IniDocument& ini, const FileList& files) {
    ini.WriteInteger(kHistorySection, kCountKey, static_cast<int>(files.Size()));
    for (std::size_t row = 0; row < files.Size(); ++row) {
        const std::string& entry = files.Rows()[row].entry;
        const std::optional<DownloadFileEntry> decoded = DecodeFileEntry(entry);
        if (!decoded) {
            continue;
        }
        ini.WriteString(kPathSection, PathKey(row), decoded->sourcePath);
        // The entry's kind and ";", the file name alone, the rest from the ";" after the source.
        const std::string_view afterKind = SkipCharacters(entry, 2);
        const std::string_view kind(entry.data(), entry.size() - afterKind.size());
        ini.WriteString(kHistorySection, RecentKey(row),
                        std::string(kind) + FileNamePart(decoded->sourcePath) +
                            std::string(afterKind.substr(decoded->sourcePath.size())));
    }
}

}  // namespace termload
