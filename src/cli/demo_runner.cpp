#include "cli/demo_runner.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "cli/child_process.h"
#include "cli/exit_codes.h"
#include "config/paths.h"

namespace termload::cli {
namespace {

constexpr auto kExitCheckInterval = std::chrono::milliseconds(50);

}  // namespace

std::vector<std::string> RunnerCommand(const std::vector<std::string>& runner,
                                       const RunOptions& run, const std::filesystem::path& report) {
    std::vector<std::string> command = runner;
    command.insert(command.end(), {"run", "--config", PathToUtf8(run.configPath), "--ports-map",
                                   PathToUtf8(run.portsMap), "--report", PathToUtf8(report)});
    if (run.single) {
        command.insert(command.end(), {"--single", std::to_string(*run.single)});
    }
    if (run.multi) {
        command.insert(command.end(), {"--multi", std::to_string(*run.multi)});
    }
    if (run.model) {
        command.insert(command.end(), {"--model", *run.model});
    }
    if (run.passes) {
        command.insert(command.end(), {"--passes", std::to_string(*run.passes)});
    }
    return command;
}

std::optional<PassRecord> PassRecordFromJson(const std::string& line) {
    const nlohmann::json json = nlohmann::json::parse(line, nullptr, false);
    if (!json.is_object() || !json.contains("port") || !json.contains("pass") ||
        !json["port"].is_number_integer() || !json["pass"].is_number_integer()) {
        return std::nullopt;
    }
    PassRecord record;
    record.port = json["port"].get<int>();
    record.pass = json["pass"].get<int>();
    record.outcome = json.value("outcome", "");
    if (const auto files = json.find("files"); files != json.end() && files->is_array()) {
        for (const nlohmann::json& entry : *files) {
            if (!entry.is_object()) {
                return std::nullopt;
            }
            FileRecord file;
            file.source = entry.value("source", "");
            file.destination = entry.value("destination", "");
            file.size = entry.value("size", std::int64_t{-1});
            file.result = entry.value("result", "");
            file.text = entry.value("text", "");
            record.files.push_back(std::move(file));
        }
    }
    return record;
}

int RunThroughRunner(const std::vector<std::string>& runner, const RunOptions& run,
                     const std::filesystem::path& workDir, RunEvents& events,
                     std::vector<PassRecord>& records) {
    const std::filesystem::path report = workDir / "runner-report.jsonl";
    const std::filesystem::path log = workDir / "runner.log";
    const std::vector<std::string> command = RunnerCommand(runner, run, report);
    std::string shown;
    for (const std::string& word : command) {
        shown += (shown.empty() ? "" : " ") + word;
    }
    std::printf("runner: %s\n", shown.c_str());
    std::fflush(stdout);

    ChildProcess child(command, log);
    while (!child.WaitForExit(kExitCheckInterval)) {
        if (events.Interrupted()) {
            child.Stop();
            return kExitStopped;
        }
    }
    std::ifstream output(log, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(output),
                           std::istreambuf_iterator<char>()};
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);

    std::ifstream lines(report, std::ios::binary);
    for (std::string line; std::getline(lines, line);) {
        if (auto record = PassRecordFromJson(line)) {
            records.push_back(std::move(*record));
        }
    }
    return child.ExitCode();
}

}  // namespace termload::cli
