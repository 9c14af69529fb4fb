#include "cli/demo_verify.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

namespace termload::cli {
namespace {

constexpr std::uintmax_t kLargestExpected = 64u << 20;

// The whole file, or nothing when it is missing, unreadable or larger than any sample.
std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kLargestExpected) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// `port`: the records of that port; nothing: every record.
bool ReportedSent(const std::vector<PassRecord>& records, std::optional<int> port, int pass,
                  const std::string& destination) {
    return std::any_of(records.begin(), records.end(), [&](const PassRecord& record) {
        return (!port || record.port == *port) && record.pass == pass &&
               std::any_of(record.files.begin(), record.files.end(), [&](const FileRecord& file) {
                   // The address file travels without a destination of its own unless a root
                   // directory is set; the report then names it by its source.
                   return (file.destination == destination || file.source == destination) &&
                          file.result == "ok";
               });
    });
}

// The rows of one terminal position: `port` as in VerifyRow, `recordsOf` as in ReportedSent.
void VerifyPlace(const std::string& place, int port, std::optional<int> recordsOf, int passes,
                 const std::vector<ExpectedFile>& expected, const std::vector<PassRecord>& records,
                 const std::filesystem::path& placeDir, std::vector<VerifyRow>& rows) {
    for (int unit = 1; unit <= passes; ++unit) {
        const std::filesystem::path unitDir = placeDir / ("unit-" + std::to_string(unit));
        for (const ExpectedFile& file : expected) {
            VerifyRow row;
            row.port = port;
            row.place = place;
            row.unit = unit;
            row.destination = file.destination;
            row.size = file.content.size();
            row.sent = ReportedSent(records, recordsOf, unit, file.destination);
            const auto received = ReadWhole(unitDir / file.destination);
            row.received = received.has_value();
            row.identical = received && *received == file.content;
            rows.push_back(std::move(row));
        }
    }
}

}  // namespace

std::vector<VerifyRow> VerifyReceived(const std::vector<int>& ports, int passes,
                                      const std::vector<ExpectedFile>& expected,
                                      const std::vector<PassRecord>& records,
                                      const std::filesystem::path& receivedDir) {
    std::vector<VerifyRow> rows;
    for (int port : ports) {
        const std::string com = "COM" + std::to_string(port);
        VerifyPlace(com, port, port, passes, expected, records, receivedDir / com, rows);
    }
    return rows;
}

std::vector<VerifyRow> VerifyTerminal(const std::string& place, int passes,
                                      const std::vector<ExpectedFile>& expected,
                                      const std::vector<PassRecord>& records,
                                      const std::filesystem::path& terminalDir) {
    std::vector<VerifyRow> rows;
    VerifyPlace(place, 0, std::nullopt, passes, expected, records, terminalDir, rows);
    return rows;
}

std::vector<std::string> VerifyTable(const std::vector<VerifyRow>& rows) {
    std::vector<std::string> lines;
    char line[160];
    std::snprintf(line, sizeof line, "%-6s %-5s %-16s %10s  %-5s %-9s %s", "port", "unit", "file",
                  "bytes", "sent", "received", "identical");
    lines.emplace_back(line);
    for (const VerifyRow& row : rows) {
        const std::string place = row.place.empty() ? "COM" + std::to_string(row.port) : row.place;
        std::snprintf(line, sizeof line, "%-6s %-5d %-16s %10llu  %-5s %-9s %s", place.c_str(),
                      row.unit, row.destination.c_str(), static_cast<unsigned long long>(row.size),
                      row.sent ? "yes" : "NO", row.received ? "yes" : "NO",
                      row.identical ? "yes" : "NO");
        lines.emplace_back(line);
    }
    const auto identical =
        std::count_if(rows.begin(), rows.end(), [](const VerifyRow& row) { return row.identical; });
    std::snprintf(line, sizeof line, "%s: %zd of %zu files identical",
                  AllIdentical(rows) ? "PASS" : "FAIL", static_cast<std::ptrdiff_t>(identical),
                  rows.size());
    lines.emplace_back(line);
    return lines;
}

bool AllIdentical(const std::vector<VerifyRow>& rows) {
    return !rows.empty() && std::all_of(rows.begin(), rows.end(), [](const VerifyRow& row) {
        return row.sent && row.received && row.identical;
    });
}

}  // namespace termload::cli
