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

bool ReportedSent(const std::vector<PassRecord>& records, int port, int pass,
                  const std::string& destination) {
    return std::any_of(records.begin(), records.end(), [&](const PassRecord& record) {
        return record.port == port && record.pass == pass &&
               std::any_of(record.files.begin(), record.files.end(), [&](const FileRecord& file) {
                   // The address file travels without a destination of its own unless a root
                   // directory is set; the report then names it by its source.
                   return (file.destination == destination || file.source == destination) &&
                          file.result == "ok";
               });
    });
}

}  // namespace

std::vector<VerifyRow> VerifyReceived(const std::vector<int>& ports, int passes,
                                      const std::vector<ExpectedFile>& expected,
                                      const std::vector<PassRecord>& records,
                                      const std::filesystem::path& receivedDir) {
    std::vector<VerifyRow> rows;
    for (int port : ports) {
        for (int unit = 1; unit <= passes; ++unit) {
            const std::filesystem::path unitDir =
                receivedDir / ("COM" + std::to_string(port)) / ("unit-" + std::to_string(unit));
            for (const ExpectedFile& file : expected) {
                if (file.firstUnitOnly && unit > 1) {
                    continue;
                }
                VerifyRow row;
                row.port = port;
                row.unit = unit;
                row.destination = file.destination;
                row.size = file.content.size();
                row.sent = ReportedSent(records, port, unit, file.destination);
                const auto received = ReadWhole(unitDir / file.destination);
                row.received = received.has_value();
                row.identical = received && *received == file.content;
                rows.push_back(std::move(row));
            }
        }
    }
    return rows;
}

std::vector<std::string> VerifyTable(const std::vector<VerifyRow>& rows) {
    std::vector<std::string> lines;
    char line[160];
    std::snprintf(line, sizeof line, "%-6s %-5s %-16s %10s  %-5s %-9s %s", "port", "unit", "file",
                  "bytes", "sent", "received", "identical");
    lines.emplace_back(line);
    for (const VerifyRow& row : rows) {
        const std::string com = "COM" + std::to_string(row.port);
        std::snprintf(line, sizeof line, "%-6s %-5d %-16s %10llu  %-5s %-9s %s", com.c_str(),
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
