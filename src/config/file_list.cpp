#include "config/file_list.h"

#include <algorithm>
#include <map>

#include "config/paths.h"
#include "config/text_encoding.h"

namespace termload {

namespace {

constexpr int kFirstKindRowText = 54;
constexpr int kMessageListFull = 53;
constexpr std::string_view kColumnGap = "  ";

bool IsKindDigit(int kind) {
    return kind >= 0 && kind <= 9;
}

// The file name padded with blanks or cut to the source column's width.
std::string SourceColumn(std::string_view sourcePath) {
    const std::string name = FileNamePart(sourcePath);
    std::string column(CutToDisplayWidth(name, kSourceColumnWidth));
    column.append(kSourceColumnWidth - DisplayWidth(column), ' ');
    return column;
}

}  // namespace

std::string EncodeFileEntry(int kind, std::string_view sourcePath, std::string_view destination) {
    std::string entry(1, static_cast<char>('0' + kind));
    entry += ';';
    entry += sourcePath;
    entry += ';';
    entry += destination;
    return entry;
}

std::optional<DownloadFileEntry> DecodeFileEntry(std::string_view encoded) {
    // The kind digit and its ";" come first; the source starts at the third character.
    const std::string_view afterKind = SkipCharacters(encoded, 2);
    const std::size_t sourceEnd = afterKind.find(';');
    if (sourceEnd == std::string_view::npos || sourceEnd == 0) {
        return std::nullopt;
    }
    DownloadFileEntry entry;
    const char kindChar = encoded.front();
    entry.kind = kindChar >= '0' && kindChar <= '9' ? kindChar - '0' : -1;
    entry.sourcePath = afterKind.substr(0, sourceEnd);
    const std::string_view rest = afterKind.substr(sourceEnd + 1);
    entry.destinationName = TrimBlanks(rest.substr(0, rest.find(';')));
    return entry;
}

std::string_view KindRowText(int langBase, int kind) {
    if (kind < kKernelImage || kind > kRootFile) {
        return {};
    }
    return TextOf(langBase, kFirstKindRowText + kind);
}

std::string RowText(int langBase, int kind, std::string_view sourcePath,
                    std::string_view destination) {
    std::string text(KindRowText(langBase, kind));
    text += SourceColumn(sourcePath);
    text += kColumnGap;
    text += destination;
    return text;
}

std::string AddRowMessage(int langBase, AddRowResult result, std::string_view sourcePath) {
    switch (result) {
        case AddRowResult::ListFull:
            return std::string(TextOf(langBase, kMessageListFull));
        case AddRowResult::SourceTooLong:
            return std::string(TextOf(langBase, kTextSourcePathTooLong)) + std::string(sourcePath);
        case AddRowResult::InvalidRow:
            return std::string(TextOf(langBase, kTextInvalidSourcePath)) + std::string(sourcePath);
        case AddRowResult::Added:
        case AddRowResult::Duplicate:
            break;
    }
    return {};
}

AddRowResult FileList::AddFileRow(int kind, std::string_view sourcePath,
                                  std::string_view destination) {
    for (const FileRow& row : rows_) {
        const std::optional<DownloadFileEntry> existing = DecodeFileEntry(row.entry);
        if (existing && existing->sourcePath == sourcePath) {
            return AddRowResult::Duplicate;
        }
    }
    if (rows_.size() >= kMaxFileRows) {
        return AddRowResult::ListFull;
    }
    // A ";" in the path would end it early when the entry is decoded.
    if (!IsKindDigit(kind) || sourcePath.empty() ||
        sourcePath.find(';') != std::string_view::npos) {
        return AddRowResult::InvalidRow;
    }
    if (DisplayWidth(sourcePath) >= kSourcePathLimit) {
        return AddRowResult::SourceTooLong;
    }
    rows_.push_back({EncodeFileEntry(kind, sourcePath, destination),
                     RowText(langBase_, kind, sourcePath, destination), true});
    storedRowOf_.emplace_back();
    selected_ = 0;
    return AddRowResult::Added;
}

bool FileList::DeleteRow(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) {
        return false;
    }
    rows_.erase(rows_.begin() + index);
    storedRowOf_.erase(storedRowOf_.begin() + index);
    selected_ = -1;
    return true;
}

void FileList::MarkLastRowStored(std::size_t storedRow) {
    if (!storedRowOf_.empty()) {
        storedRowOf_.back() = storedRow;
        storedRead_.insert(std::upper_bound(storedRead_.begin(), storedRead_.end(), storedRow),
                           storedRow);
    }
}

void FileList::NoteStoredRowMerged(std::size_t storedRow) {
    storedRead_.insert(std::upper_bound(storedRead_.begin(), storedRead_.end(), storedRow),
                       storedRow);
}

void FileList::KeepStoredRow(std::size_t storedRow) {
    storedKept_.insert(std::upper_bound(storedKept_.begin(), storedKept_.end(), storedRow),
                       storedRow);
}

std::optional<std::size_t> FileList::StoredRowOf(std::size_t index) const {
    return index < storedRowOf_.size() ? storedRowOf_[index] : std::nullopt;
}

void FileList::NoteDropped(std::string_view sourcePath, AddRowResult reason) {
    switch (reason) {
        case AddRowResult::ListFull:
            NoteDropped(sourcePath, RowFault::ListFull);
            break;
        case AddRowResult::SourceTooLong:
            NoteDropped(sourcePath, RowFault::SourceTooLong);
            break;
        case AddRowResult::InvalidRow:
            NoteDropped(sourcePath, RowFault::InvalidSource);
            break;
        case AddRowResult::Added:
        case AddRowResult::Duplicate:
            break;
    }
}

void FileList::NoteDropped(std::string_view source, RowFault fault) {
    dropped_.push_back({std::string(source), fault});
}

void FileList::Clear() {
    rows_.clear();
    storedRowOf_.clear();
    storedRead_.clear();
    storedKept_.clear();
    dropped_.clear();
    selected_ = -1;
}

bool FileList::SetChecked(int index, bool checked) {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) {
        return false;
    }
    rows_[static_cast<std::size_t>(index)].checked = checked;
    return true;
}

bool FileList::ChangeRow(int index, int kind, std::string_view destination) {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size() || !IsKindDigit(kind)) {
        return false;
    }
    FileRow& row = rows_[static_cast<std::size_t>(index)];
    const std::optional<DownloadFileEntry> entry = DecodeFileEntry(row.entry);
    if (!entry) {
        return false;
    }
    row.entry = EncodeFileEntry(kind, entry->sourcePath, destination);
    row.text = std::string(TrimBlanks(RowText(langBase_, kind, entry->sourcePath, destination)));
    return true;
}

bool FileList::Select(int index) {
    if (index < -1 || index >= static_cast<int>(rows_.size())) {
        return false;
    }
    selected_ = index;
    return true;
}

std::vector<std::string> FileList::FileEntries() const {
    std::vector<std::string> entries;
    entries.reserve(rows_.size());
    for (const FileRow& row : rows_) {
        entries.push_back(row.entry);
    }
    return entries;
}

std::string DroppedRowsText(int langBase, const std::vector<DroppedRow>& rows) {
    // A list of thousands of stored rows names a few of each fault and counts the rest.
    constexpr std::size_t kNamesShown = 8;
    std::vector<RowFault> faults;
    for (const DroppedRow& row : rows) {
        if (std::find(faults.begin(), faults.end(), row.fault) == faults.end()) {
            faults.push_back(row.fault);
        }
    }
    std::string text(TextOf(langBase, kTextRowsNotLoaded));
    for (std::size_t group = 0; group < faults.size(); ++group) {
        text.append(group == 0 ? "" : "; ");
        std::size_t count = 0;
        for (const DroppedRow& row : rows) {
            if (row.fault != faults[group]) {
                continue;
            }
            if (++count <= kNamesShown) {
                text.append(count == 1 ? "" : ", ").append(FileNamePart(row.source));
            }
        }
        if (count > kNamesShown) {
            text.append(", ... (").append(std::to_string(count)).append(")");
        }
        const int faultText = kTextFirstRowFault + static_cast<int>(faults[group]);
        text.append(" (").append(TextOf(langBase, faultText)).append(")");
    }
    return text;
}

std::optional<SameDestination> FindSameDestination(const std::vector<std::string>& entries) {
    std::map<std::string, std::string> sources;
    for (const std::string& encoded : entries) {
        const std::optional<DownloadFileEntry> entry = DecodeFileEntry(encoded);
        if (!entry) {
            continue;
        }
        const auto [first, added] = sources.emplace(entry->destinationName, entry->sourcePath);
        if (!added) {
            return SameDestination{entry->destinationName, first->second, entry->sourcePath};
        }
    }
    return std::nullopt;
}

std::string SameDestinationText(int langBase, const SameDestination& same) {
    return std::string(TextOf(langBase, kTextSameDestination))
        .append(same.destination)
        .append(" (")
        .append(FileNamePart(same.firstSource))
        .append(", ")
        .append(FileNamePart(same.secondSource))
        .append(")");
}

FileListCheck CheckFileListForStart(const FileList& files, int configFileRow, bool modelSelected) {
    FileListCheck check;
    bool chosen = false;
    for (const FileRow& row : files.Rows()) {
        chosen = chosen || row.checked;
    }
    if (configFileRow != 0) {
        check.checkFirstRow = !files.Empty();
        chosen = true;
    }
    check.startEnabled = chosen && modelSelected;
    return check;
}

}  // namespace termload
