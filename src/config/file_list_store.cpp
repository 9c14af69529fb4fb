// The file list in the configuration file: "RecentCount" and "Recent<n>" in section "History"
// ("kind;file name;destination"), the full source path of each row as "Path<n>" in "Path".
#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <optional>
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

// Where a row goes when the list is written back: `row` names a row of the list, or nothing for a
// kept stored row read from `storedRow`.
struct StoredPlace {
    std::size_t number = 0;
    std::optional<std::size_t> row;
    std::size_t storedRow = 0;
};

// The rows and the kept stored rows in the order the file is to hold them, numbered. Walks the
// stored numbers upwards: a number no stored row had (a gap) keeps its place, a number whose row
// was read and has gone since (deleted, or merged into another row) gives its place up.
std::vector<StoredPlace> PlaceRows(const FileList& files) {
    const std::vector<std::size_t>& read = files.StoredRowsRead();
    const std::vector<std::size_t>& kept = files.StoredRowsKept();
    std::vector<StoredPlace> places;
    std::size_t number = 0;
    std::size_t nextKept = 0;
    std::size_t nextRead = 0;
    std::optional<std::size_t> last;  // the stored number last passed
    // Moves past the numbers no stored row had between the last number passed and `row`.
    const auto pass = [&](std::size_t row) {
        const std::size_t first = last ? *last + 1 : 0;
        number += row > first ? row - first : 0;
        last = std::max(row, last.value_or(0));
    };
    // Passes the stored numbers below `end`, placing the kept rows among them.
    const auto passTo = [&](std::size_t end) {
        for (;;) {
            const std::size_t keptRow = nextKept < kept.size() ? kept[nextKept] : end;
            const std::size_t readRow = nextRead < read.size() ? read[nextRead] : end;
            const std::size_t row = std::min({keptRow, readRow, end});
            if (row >= end) {
                return;
            }
            pass(row);
            if (row == keptRow) {
                places.push_back({number++, std::nullopt, row});
                ++nextKept;
            } else {
                ++nextRead;  // a row read: placed with its row of the list, if any is left
            }
        }
    };
    for (std::size_t index = 0; index < files.Size(); ++index) {
        const std::optional<std::size_t> stored = files.StoredRowOf(index);
        if (stored) {
            passTo(*stored);
            pass(*stored);
            if (nextRead < read.size() && read[nextRead] == *stored) {
                ++nextRead;
            }
        }
        places.push_back({number++, index, 0});
    }
    passTo(std::numeric_limits<std::size_t>::max());
    return places;
}

void WriteOrDelete(IniDocument& ini, std::string_view section, const std::string& key,
                   const std::optional<std::string>& value) {
    if (value) {
        ini.WriteString(section, key, *value);
    } else {
        ini.DeleteKey(section, key);
    }
}

// Whether the row of `source` in the list was added by the loading itself rather than read from
// a stored row: the configuration's own row, which the list's writing stores like any other.
bool IsRowAddedByTheLoading(const FileList& files, std::string_view source) {
    for (std::size_t index = 0; index < files.Size(); ++index) {
        const std::optional<DownloadFileEntry> entry = DecodeFileEntry(files.Rows()[index].entry);
        if (entry && entry->sourcePath == source) {
            return !files.StoredRowOf(index);
        }
    }
    return false;
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
    const std::vector<std::size_t> stored = StoredRows(ini, count);
    for (auto at = stored.begin(); at != stored.end(); ++at) {
        const std::size_t row = *at;
        if (row > next) {
            files.NoteDropped(
                row == next + 1 ? RecentKey(next) : RecentKey(next) + "-" + RecentKey(row - 1),
                RowFault::Missing);
        }
        next = row + 1;
        const std::string value = ini.ReadString(kHistorySection, RecentKey(row), "");
        if (value.empty()) {
            files.NoteDropped(RecentKey(row), RowFault::Empty);
            files.KeepStoredRow(row);
            continue;
        }
        if (value.front() < '0' || value.front() > '9') {
            const std::string_view first(value.data(),
                                         value.size() - SkipCharacters(value, 1).size());
            messages.push_back(
                {PromptKind::Error, "'" + std::string(first) + "' is not a valid integer value"});
            files.NoteDropped(RecentKey(row), RowFault::NotKind);
            // This row and every row after it stay stored as they are.
            for (; at != stored.end(); ++at) {
                files.KeepStoredRow(*at);
            }
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
            files.KeepStoredRow(row);
            continue;
        }
        const std::string_view rest = afterKind.substr(nameEnd + 1);
        const std::string_view destination = TrimBlanks(rest.substr(0, rest.find(';')));
        const std::string source = SourceOf(ini, row, baseDir, debugMode, name);
        if (destination.empty()) {
            files.NoteDropped(source, RowFault::NoDestination);
            files.KeepStoredRow(row);
            continue;
        }
        const AddRowResult result = files.AddFileRow(value.front() - '0', source, destination);
        files.NoteDropped(source, result);
        if (result == AddRowResult::Added) {
            files.MarkLastRowStored(row);
        } else if (result == AddRowResult::Duplicate && IsRowAddedByTheLoading(files, source)) {
            files.NoteStoredRowMerged(row);
        } else {
            files.KeepStoredRow(row);
        }
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
    const std::vector<StoredPlace> places = PlaceRows(files);
    const std::size_t count = places.empty() ? 0 : places.back().number + 1;
    // The kept rows' lines are read before any is written over.
    struct KeptLines {
        std::optional<std::string> recent;
        std::optional<std::string> path;
    };
    std::vector<KeptLines> kept(places.size());
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (!places[i].row && places[i].number != places[i].storedRow) {
            kept[i] = {ini.ReadWholeValue(kHistorySection, RecentKey(places[i].storedRow)),
                       ini.ReadWholeValue(kPathSection, PathKey(places[i].storedRow))};
        }
    }
    ini.WriteInteger(kHistorySection, kCountKey, static_cast<int>(count));
    for (std::size_t i = 0; i < places.size(); ++i) {
        const StoredPlace& place = places[i];
        if (!place.row) {
            // A kept row: its lines move with it, as they are.
            if (place.number != place.storedRow) {
                WriteOrDelete(ini, kHistorySection, RecentKey(place.number), kept[i].recent);
                WriteOrDelete(ini, kPathSection, PathKey(place.number), kept[i].path);
            }
            continue;
        }
        const std::string& entry = files.Rows()[*place.row].entry;
        const std::optional<DownloadFileEntry> decoded = DecodeFileEntry(entry);
        if (!decoded) {
            continue;
        }
        ini.WriteString(kPathSection, PathKey(place.number), decoded->sourcePath);
        // The entry's kind and ";", the file name alone, the rest from the ";" after the source.
        const std::string_view afterKind = SkipCharacters(entry, 2);
        const std::string_view kind(entry.data(), entry.size() - afterKind.size());
        ini.WriteString(kHistorySection, RecentKey(place.number),
                        std::string(kind) + FileNamePart(decoded->sourcePath) +
                            std::string(afterKind.substr(decoded->sourcePath.size())));
    }
    // A gap stays a gap: a number no row took holds no row, even when one was stored there.
    std::size_t at = 0;
    for (const std::size_t row : StoredRows(ini, static_cast<int>(count))) {
        while (at < places.size() && places[at].number < row) {
            ++at;
        }
        if (at == places.size() || places[at].number != row) {
            ini.DeleteKey(kHistorySection, RecentKey(row));
        }
    }
}

}  // namespace termload
