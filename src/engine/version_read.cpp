#include "engine/version_read.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <numeric>

#include "config/address_file.h"
#include "config/string_table.h"

namespace termload {
namespace {

constexpr std::uint8_t kReplyHeader[] = {0x01, 0x01, 0x01, 0x01, 0x15, 0xDC};
constexpr std::size_t kReplyLengthFrom = 8;
constexpr std::size_t kReplyItemsAt = 12;
constexpr std::uint8_t kReplyEnd = 0x03;
constexpr std::int32_t kFirstTypeAlwaysSent = 5;
constexpr int kSourceFileText = 62;
constexpr int kVersionTooLowText = 147;

// The type of a local line: its leading decimal digits, after any blanks.
std::optional<std::int32_t> LeadingType(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (std::size_t i = first; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) {
            return std::nullopt;
        }
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// Byte `sumAt` is the 8-bit sum of the reply's bytes from 3 up to the one before it.
bool SumCloses(std::span<const std::uint8_t> reply, std::size_t sumAt) {
    const auto sum = static_cast<std::uint8_t>(
        std::accumulate(reply.begin() + 3, reply.begin() + static_cast<std::ptrdiff_t>(sumAt), 0u));
    return sum == reply[sumAt];
}

}  // namespace

std::span<const std::uint8_t> FindVersionReply(std::span<const std::uint8_t> received) {
    // The length field (bytes 6-7) must have come as well, and the sum after it.
    constexpr std::size_t kShortest = 9;
    const auto header = std::begin(kReplyHeader);
    for (std::size_t at = 0; at + kShortest <= received.size(); ++at) {
        const std::span<const std::uint8_t> rest = received.subspan(at);
        if (!std::equal(header, std::end(kReplyHeader), rest.begin())) {
            continue;
        }
        // Framed as sent: the length covers bytes 8 up to the closing 03, the sum follows it.
        const std::size_t length = static_cast<std::size_t>(rest[6]) << 8 | rest[7];
        const std::size_t framed = kReplyLengthFrom + length + 2;
        if (framed <= rest.size() && rest[framed - 2] == kReplyEnd && SumCloses(rest, framed - 1)) {
            const std::span<const std::uint8_t> reply = rest.first(framed);
            if (std::equal(reply.begin(), reply.end(), kVersionRequest.begin(),
                           kVersionRequest.end())) {
                continue;  // our own request, echoed by a console that repeats what it is sent
            }
            return reply;
        }
        // A terminal whose length field disagrees: the reply is everything up to the last byte
        // received, when that byte is its sum.
        if (SumCloses(rest, rest.size() - 1)) {
            return rest;
        }
    }
    return {};
}

VersionList ParseVersionReply(std::span<const std::uint8_t> received) {
    const std::span<const std::uint8_t> reply = FindVersionReply(received);
    VersionList records;
    if (reply.empty()) {
        return records;
    }
    const std::size_t length = static_cast<std::size_t>(reply[6]) << 8 | reply[7];
    // Items lie between byte 12 and the sum byte, whatever the length field claims.
    const std::size_t end = reply.size() - 1;
    std::size_t i = 0;
    while (i + 5 < length) {
        const std::size_t at = kReplyItemsAt + i;
        if (at + 2 > end) {
            break;
        }
        const auto count = static_cast<std::int8_t>(reply[at + 1]);
        if (count < 0 || at + 2 + static_cast<std::size_t>(count) > end) {
            break;
        }
        VersionRecord record;
        record.type = static_cast<std::int8_t>(reply[at]);
        record.version.assign(reinterpret_cast<const char*>(reply.data() + at + 2),
                              static_cast<std::size_t>(count));
        records.push_back(std::move(record));
        i += 2 + static_cast<std::size_t>(count);
    }
    return records;
}

VersionList ParseLocalVersions(std::string_view text) {
    VersionList records;
    while (!text.empty()) {
        const std::size_t lineEnd = text.find('\n');
        std::string_view line = text.substr(0, lineEnd);
        text = lineEnd == std::string_view::npos ? std::string_view{} : text.substr(lineEnd + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::size_t first = line.find(';');
        if (first == std::string_view::npos) {
            continue;
        }
        const std::size_t second = line.find(';', first + 1);
        if (second == std::string_view::npos) {
            continue;
        }
        const std::optional<std::int32_t> type = LeadingType(line.substr(0, first));
        if (!type) {
            continue;
        }
        VersionRecord record;
        record.type = *type;
        record.name = line.substr(first + 1, second - first - 1);
        record.version = line.substr(second + 1);
        records.push_back(std::move(record));
    }
    return records;
}

VersionList ReadLocalVersions(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string text(kLocalVersionFileLimit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return ParseLocalVersions(text);
}

std::optional<int> VersionNumber(std::string_view version) {
    if (version.empty()) {
        return std::nullopt;
    }
    const std::string_view tail =
        version.substr(version.size() - std::min<std::size_t>(3, version.size()));
    int number = 0;
    for (const char c : tail) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

void CompareVersions(const VersionList& terminal, VersionList& local) {
    if (terminal.empty() || local.empty()) {
        return;
    }
    for (VersionRecord& record : local) {
        const auto held =
            std::find_if(terminal.begin(), terminal.end(),
                         [&](const VersionRecord& t) { return t.type == record.type; });
        if (held == terminal.end()) {
            continue;
        }
        const std::optional<int> wanted = VersionNumber(record.version);
        const std::optional<int> installed = VersionNumber(held->version);
        if (wanted && installed && *installed >= *wanted) {
            record.keep = 0;
        }
    }
}

std::uint8_t KeepFlagOf(const VersionList& local, std::int32_t type) {
    const auto record = std::find_if(local.begin(), local.end(),
                                     [type](const VersionRecord& r) { return r.type == type; });
    return record == local.end() ? 0 : record->keep;
}

std::vector<VersionRowVerdict> DecideVersionRows(const std::vector<FileRow>& rows,
                                                 const VersionList& local, int langBase) {
    std::vector<VersionRowVerdict> verdicts;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (!rows[row].checked || rows[row].entry.empty()) {
            continue;
        }
        const std::optional<DownloadFileEntry> entry = DecodeFileEntry(rows[row].entry);
        if (!entry) {
            continue;  // the start checks refuse such a row; it is no version question
        }
        VersionRowVerdict verdict;
        verdict.row = row;
        verdict.destination = entry->destinationName;
        if (verdict.destination == kAddressFileName) {
            verdict.uncheck = true;  // the tool writes it itself for each run
        } else if (const std::int32_t type = FileTypeOf(verdict.destination);
                   type < kFirstTypeAlwaysSent && KeepFlagOf(local, type) != 1) {
            verdict.uncheck = true;
            verdict.prompt = std::string(TextOf(langBase, kSourceFileText)) + verdict.destination +
                             " " + std::string(TextOf(langBase, kVersionTooLowText));
        }
        verdicts.push_back(std::move(verdict));
    }
    return verdicts;
}

VersionReadOutcome ReadFileVersions(bool multiPort, const VersionExchange& exchange,
                                    const std::filesystem::path& localFile,
                                    std::vector<FileRow> rows, int langBase) {
    VersionReadOutcome outcome;
    outcome.local = ReadLocalVersions(localFile);
    if (!multiPort) {
        for (FileRow& row : rows) {
            row.checked = true;
        }
        outcome.checkedAllFirst = true;
        const VersionExchangeResult result = exchange ? exchange() : VersionExchangeResult{};
        if (!result.opened) {
            outcome.openFailed = true;
            return outcome;
        }
        outcome.terminal = ParseVersionReply(result.reply);
    }
    CompareVersions(outcome.terminal, outcome.local);
    outcome.verdicts = DecideVersionRows(rows, outcome.local, langBase);
    return outcome;
}

}  // namespace termload
