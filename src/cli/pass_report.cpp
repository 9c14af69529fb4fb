#include "cli/pass_report.h"
#include "config/paths.h"

#include <nlohmann/json.hpp>

namespace termload::cli {

std::string PassRecordJson(const PassRecord& record) {
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const FileRecord& file : record.files) {
        nlohmann::ordered_json entry = {{"source", file.source},
                                        {"destination", file.destination},
                                        {"size", file.size},
                                        {"result", file.result}};
        if (file.result == "failed" && !file.text.empty()) {
            entry["text"] = file.text;
        }
        files.push_back(std::move(entry));
    }
    nlohmann::ordered_json failures = nlohmann::ordered_json::array();
    for (const FailureRecord& failure : record.failures) {
        failures.push_back({{"file", failure.file},
                            {"cause", failure.cause},
                            {"restart", failure.restart},
                            {"text", failure.text}});
    }
    const nlohmann::ordered_json line = {{"port", record.port},
                                         {"pass", record.pass},
                                         {"start", IsoLocalTime(record.start)},
                                         {"end", IsoLocalTime(record.end)},
                                         {"files", files},
                                         {"failures", failures},
                                         {"outcome", record.outcome}};
    // Names from a configuration written on Windows may not be UTF-8; never fail on them.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string CheckReportPath(const std::filesystem::path& path,
                            const std::filesystem::path& configPath,
                            const std::vector<std::filesystem::path>& sources) {
    // Compared as files (device and inode), so that no link, hard or symbolic, and no "." or
    // ".." hides that two names are one file. A report that does not exist yet is a new file.
    const auto same = [&path](const std::filesystem::path& other) {
        std::error_code ec;
        return std::filesystem::equivalent(path, other, ec) && !ec;
    };
    if (same(configPath)) {
        return "the report " + PathToUtf8(path) + " is the configuration " + PathToUtf8(configPath);
    }
    for (const std::filesystem::path& source : sources) {
        if (same(source)) {
            return "the report " + PathToUtf8(path) + " is the source file " + PathToUtf8(source);
        }
    }
    return {};
}

PassReport::PassReport(const std::filesystem::path& path) : file_(path) {}

PassReport::~PassReport() = default;

std::string PassReport::Write(const PassRecord& record) {
    const std::string line = PassRecordJson(record) + "\n";
    std::lock_guard lock(mutex_);
    return file_.AppendWhole(line);
}

}  // namespace termload::cli
