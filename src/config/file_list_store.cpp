// The file list in the configuration file: "RecentCount" and "Recent<n>" in section "History"
// ("kind;file name;destination"), the full source path of each row as "Path<n>" in "Path".
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

}  // namespace

void ReadFileList(const IniDocument& ini, FileList& files, std::string_view baseDir, bool debugMode,
                  std::vector<PromptMessage>& messages) {
    const int count = ini.ReadInteger(kHistorySection, kCountKey, 0);
    bool listFullShown = false;
    // Reading ends at the first missing row, so a huge count costs nothing.
    for (std::size_t row = 0; static_cast<long long>(row) < count; ++row) {
        const std::string value = ini.ReadString(kHistorySection, RecentKey(row), "");
        if (value.empty()) {
            break;
        }
        if (value.front() < '0' || value.front() > '9') {
            const std::string_view first(value.data(),
                                         value.size() - SkipCharacters(value, 1).size());
            messages.push_back(
                {PromptKind::Error, "'" + std::string(first) + "' is not a valid integer value"});
            break;
        }
        // Kind digit and ";", then the file name up to the next ";", then the destination.
        const std::string_view afterKind = SkipCharacters(value, 2);
        const std::size_t nameEnd = afterKind.find(';');
        if (nameEnd == std::string::npos) {
            continue;
        }
        const std::string name(TrimBlanks(FileNamePart(afterKind.substr(0, nameEnd))));
        if (name.empty()) {
            continue;
        }
        const std::string_view rest = afterKind.substr(nameEnd + 1);
        const std::string_view destination = TrimBlanks(rest.substr(0, rest.find(';')));
        const std::string source = SourceOf(ini, row, baseDir, debugMode, name);
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
