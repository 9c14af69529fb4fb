// The file list: which files go to the terminal. Each row is held as its encoded entry
// ("kind;source path;destination name"), its displayed row text and its check mark.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/prompt_message.h"
#include "config/string_table.h"

namespace termload {

class IniDocument;

// Kinds of file rows, stored as one decimal digit.
enum FileKind : int {
    kKernelImage = 0,
    kApplication = 1,
    kOtherFile = 2,
    kBiosFile = 3,
    kKernelFile = 4,
    kRootFile = 5,
};

inline constexpr std::size_t kMaxFileRows = 32;
// Source paths must be shorter than this many bytes.
inline constexpr std::size_t kSourcePathLimit = 255;
// Display columns of the source file name in a row text.
inline constexpr std::size_t kSourceColumnWidth = 18;

struct DownloadFileEntry {
    int kind = kApplication;  // the first character as a digit; -1 when it is no digit
    std::string sourcePath;
    std::string destinationName;  // without surrounding blanks
};

std::string EncodeFileEntry(int kind, std::string_view sourcePath, std::string_view destination);

// Nothing when the entry has no ";" from its third character on, or an empty source path.
std::optional<DownloadFileEntry> DecodeFileEntry(std::string_view encoded);

// The kind's column text (strings 54-59 with their trailing blanks); empty outside 0-5.
std::string_view KindRowText(int langBase, int kind);

// Kind text, the source's file name padded or cut to 18 columns, two blanks, the destination.
std::string RowText(int langBase, int kind, std::string_view sourcePath,
                    std::string_view destination);

struct FileRow {
    std::string entry;  // encoded DownloadFileEntry
    std::string text;   // as shown in the list
    bool checked = true;

    bool operator==(const FileRow&) const = default;
};

enum class AddRowResult {
    Added,
    Duplicate,      // a row with this source path exists
    ListFull,       // the list has 32 rows
    SourceTooLong,  // the source path has 255 bytes or more (in GBK, as it is stored)
    InvalidRow,     // kind no digit, or source path empty or holding a ";"
};

// Why a stored row of the file list is not in the list.
enum class RowFault {
    ListFull,       // a 33rd row or later
    SourceTooLong,  // a source path of 255 bytes or more
    InvalidSource,  // a source path that no entry can hold
    Missing,        // no "Recent<n>" although a later row is stored: a gap in the numbering
    Empty,          // "Recent<n>" holds nothing
    NoSource,       // no file name before the ";" that ends it
    NoDestination,  // no ";" after the file name, or nothing after it
    CutAtNul,       // the configuration holds a NUL byte: nothing after it was read (named by its
                    // offset in the file)
    NotKind,        // the kind is no digit: the reading stopped there
};

// A stored row that loading could not take. The list keeps it known, because a download
// without it would leave the terminal short of a file, so a start is refused while the list
// has one.
struct DroppedRow {
    std::string source;  // its source path; for a row without one, what names it ("Recent4")
    RowFault fault = RowFault::InvalidSource;

    bool operator==(const DroppedRow&) const = default;
};

// "Rows of the file list were not loaded: " and the rows by fault, in the order first noted.
std::string DroppedRowsText(int langBase, const std::vector<DroppedRow>& rows);

// Two rows whose destinations are the same: the terminal would keep only the later file.
struct SameDestination {
    std::string destination;
    std::string firstSource;
    std::string secondSource;
};
// The first pair of the given rows (encoded entries) that share a destination.
std::optional<SameDestination> FindSameDestination(const std::vector<std::string>& entries);
std::string SameDestinationText(int langBase, const SameDestination& same);

// The text to show the operator for a refused row; empty when there is nothing to show.
std::string AddRowMessage(int langBase, AddRowResult result, std::string_view sourcePath);

class FileList {
  public:
    explicit FileList(int langBase = kLangChinese) : langBase_(langBase) {}

    // Language of the row texts of rows added from now on.
    void SetLangBase(int langBase) { langBase_ = langBase; }
    int LangBase() const { return langBase_; }

    // Appends a checked row unless a row with the same source path exists, the list is full or
    // the path is too long; an added row selects row 0.
    AddRowResult AddFileRow(int kind, std::string_view sourcePath, std::string_view destination);

    // Notes a stored row that could not be added (the results Added and Duplicate note nothing).
    void NoteDropped(std::string_view sourcePath, AddRowResult reason);
    void NoteDropped(std::string_view source, RowFault fault);
    const std::vector<DroppedRow>& Dropped() const { return dropped_; }

    // Where the rows came from in the configuration ("Recent<n>"), so that writing the list back
    // keeps the stored rows the loading did not take, each at its place among the others.
    // Marks the last row added as read from stored row `storedRow`.
    void MarkLastRowStored(std::size_t storedRow);
    // A stored row the loading took no row from because it names the configuration's own row
    // (DOWNCONF), which the list's writing stores as its first row: writing the list back does
    // not keep it, so the file does not gain a row each time. A second row of any other file is
    // kept like a refused one.
    void NoteStoredRowMerged(std::size_t storedRow);
    // A stored row the loading did not take (refused, or after the row where the reading
    // stopped): writing the list back keeps its lines as they are.
    void KeepStoredRow(std::size_t storedRow);
    // The stored row the row at `index` was read from; nothing for a row added since.
    std::optional<std::size_t> StoredRowOf(std::size_t index) const;
    // Every stored row the loading read (taken or merged), ascending.
    const std::vector<std::size_t>& StoredRowsRead() const { return storedRead_; }
    // The stored rows to keep, ascending.
    const std::vector<std::size_t>& StoredRowsKept() const { return storedKept_; }

    // False when the index names no row.
    bool DeleteRow(int index);
    // Empties the list, the dropped rows and the stored rows kept included: the operator's
    // clearing of the list lifts every refusal.
    void Clear();
    bool SetChecked(int index, bool checked);

    // The rename dialog's change: new kind (0-9) and destination as typed; the row keeps its
    // position, source and check mark. False when the index names no row or the kind is no digit.
    bool ChangeRow(int index, int kind, std::string_view destination);

    // -1 when no row is selected.
    int SelectedRow() const { return selected_; }
    bool Select(int index);

    const std::vector<FileRow>& Rows() const { return rows_; }
    std::size_t Size() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    std::vector<std::string> FileEntries() const;

  private:
    std::vector<FileRow> rows_;
    std::vector<std::optional<std::size_t>> storedRowOf_;  // one per row
    std::vector<std::size_t> storedRead_;
    std::vector<std::size_t> storedKept_;
    std::vector<DroppedRow> dropped_;
    int selected_ = -1;
    int langBase_;
};

// What the start button and the first row's check mark must be after a change of the list.
struct FileListCheck {
    bool checkFirstRow = false;  // DOWNCONF is on and the list has a row
    bool startEnabled = false;   // btnDown
};
FileListCheck CheckFileListForStart(const FileList& files, int configFileRow, bool modelSelected);

// Reads sections "History" and "Path" into the list (rows are added, not replaced). In debug
// mode the directories stored under "Path" are used, else every file is looked up in `baseDir`.
// Rows below "RecentCount" that cannot be taken are noted in the list and named in a warning;
// rows numbered from "RecentCount" on are left over from a longer list and not read.
void ReadFileList(const IniDocument& ini, FileList& files, std::string_view baseDir, bool debugMode,
                  std::vector<PromptMessage>& messages);

// Writes the list to sections "History" and "Path". The stored rows the list keeps stay, their
// lines as they were, at their places among the rows (renumbered only when rows before them
// were deleted or added), so that the list read back is refused as it was; gaps in the
// numbering stay gaps. A row added since the list was read follows the row before it in the
// list.
void WriteFileList(IniDocument& ini, const FileList& files);

}  // namespace termload
