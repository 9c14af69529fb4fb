// The file-version read: asks the terminal which versions of its files it holds, compares them
// with the local version list, and leaves checked only the file rows worth downloading. This file
// is the logic; the bytes go through the version exchange that link.h picks for the transport.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/file_list.h"

namespace termload {

// Sent unchanged every time: four 0x01, 15 DC, length 5 of the five bytes after it, 0x03 and
// the sum of bytes 3 to 13.
inline constexpr std::array<std::uint8_t, 15> kVersionRequest = {
    0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0x00, 0x05, 0x01, 0x10, 0x10, 0x18, 0x00, 0x03, 0x33};

// The largest reply taken from a USB transport.
inline constexpr std::size_t kVersionReplyBufferSize = 4174;

// The local version list, in the application directory.
inline constexpr std::string_view kLocalVersionFileName = "UserLoacaVersion.ini";
// A local version file is a short list; more than this is not read.
inline constexpr std::uintmax_t kLocalVersionFileLimit = 1 << 20;

struct VersionRecord {
    std::int32_t type = 0;
    std::string name;  // empty for the terminal's records
    std::string version;
    std::uint8_t keep = 1;

    bool operator==(const VersionRecord&) const = default;
};
using VersionList = std::vector<VersionRecord>;

// The terminal's reply among the bytes received: a terminal that greets its port (a boot
// loader's banner) puts text before or after it. The first header 01 01 01 01 15 DC that starts
// either a reply framed as sent (its length field covers bytes 8 up to a closing 03, the sum
// follows) or one whose last byte received is its sum (bytes 3 to the one before it). A frame
// that is the request itself, echoed, is passed over. Empty when nothing qualifies.
std::span<const std::uint8_t> FindVersionReply(std::span<const std::uint8_t> received);

// The terminal's records from the reply FindVersionReply finds; empty when there is none. Items
// are read while their offset from byte 12, plus 5, is below the reply's length field, and only
// from the reply's own bytes (the sum byte excluded): an item cut short, or a length byte above
// 127, ends the list there.
VersionList ParseVersionReply(std::span<const std::uint8_t> received);

// Lines "type;name;version" (a line feed ends a line, a CR before it is dropped). The type is the
// line's leading decimal digits; a line without two ";", or whose type has no digit or does not
// fit in 32 bits, is skipped. The version is the rest of the line after the second ";".
VersionList ParseLocalVersions(std::string_view text);
// The same from a file; empty when it does not exist or cannot be read. Only the first
// kLocalVersionFileLimit bytes are read.
VersionList ReadLocalVersions(const std::filesystem::path& path);

// The number of a version text: its last three characters (the whole text when shorter) as a
// decimal number. Nothing when they are not all decimal digits, or the text is empty: such a
// version is not compared, so it never makes a file look up to date.
std::optional<int> VersionNumber(std::string_view version);

// Clears the keep flag of each local record whose type the terminal reports (its first record of
// that type) with a version number at least as high. Nothing when either list is empty.
void CompareVersions(const VersionList& terminal, VersionList& local);

// The keep flag of the first local record of `type`; 0 when there is none.
std::uint8_t KeepFlagOf(const VersionList& local, std::int32_t type);

// What the read does with one checked row.
struct VersionRowVerdict {
    std::size_t row = 0;
    std::string destination;
    bool uncheck = false;
    std::string prompt;  // the error box's text; empty: no box
};

// The verdicts for the checked rows with a non-empty entry, in row order: "file.adr" is
// unchecked; a known type of 5 or more, or one the local list keeps, stays checked; any other row
// (a name in no row of the file type table included) is unchecked with
// "Source file: <destination> is too low" in the language of `langBase`.
std::vector<VersionRowVerdict> DecideVersionRows(const std::vector<FileRow>& rows,
                                                 const VersionList& local, int langBase);

// What a version exchange gave: whether the transport opened, and what came back (empty: no
// reply).
struct VersionExchangeResult {
    bool opened = false;
    std::vector<std::uint8_t> reply;
};
// One version request over the chosen transport, opened and closed within the call.
using VersionExchange = std::function<VersionExchangeResult()>;

struct VersionReadOutcome {
    bool checkedAllFirst = false;  // every row was checked before the transport was opened
    bool openFailed = false;       // the read ended there; nothing was compared
    VersionList terminal;
    VersionList local;
    std::vector<VersionRowVerdict> verdicts;
};

// The whole read over `rows` (the file list as it is shown). In multi-port mode nothing is
// opened and no row is checked first: only the rows already checked are decided, by the local
// list alone. Otherwise every row is checked, the exchange runs, and unless it could not open,
// every row is decided.
VersionReadOutcome ReadFileVersions(bool multiPort, const VersionExchange& exchange,
                                    const std::filesystem::path& localFile,
                                    std::vector<FileRow> rows, int langBase);

}  // namespace termload
