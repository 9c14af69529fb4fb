// The production record: one JSON line per pass per port, for the operator or the line's MES.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/iso_time.h"
#include "cli/report_file.h"

namespace termload::cli {

struct FileRecord {
    std::string source;       // path on the PC
    std::string destination;  // name on the terminal
    std::int64_t size = 0;    // bytes; -1 when the source could not be read
    std::string result;       // "ok", "failed" or "stopped"
    std::string text;         // for a failed file: the red status text that ended it
};

// A failure in the middle of a pass: what the operator saw, why, and what was started again.
struct FailureRecord {
    std::string file;     // destination of the file being sent; empty when none
    std::string cause;    // "hang-up", "time-out", "transport", "port-open", "timer-file",
                          // "ccid-result", "console", "ymodem"
    std::string restart;  // "file" (from its first block), "pass" (the next pass from the first
                          // file), "none"
    std::string text;     // the red status text
};

struct PassRecord {
    int port = 0;
    int pass = 0;  // 1 for the first terminal on this port
    WallTime start;
    WallTime end;
    std::vector<FileRecord> files;
    std::vector<FailureRecord> failures;
    std::string outcome;  // "ok", "failed" or "stopped"
};

// One line of JSON, without the line end.
std::string PassRecordJson(const PassRecord& record);

// Empty when `path` may take the report; else a one-line reason: appending to the configuration
// or to a file the run sends, under whatever name, would corrupt it.
std::string CheckReportPath(const std::filesystem::path& path,
                            const std::filesystem::path& configPath,
                            const std::vector<std::filesystem::path>& sources);

// Appends records to a file, one whole line at a time; safe to call from every download thread.
class PassReport {
  public:
    // Opens (creating when needed) `path` for appending; throws std::runtime_error with a one-line
    // reason when it cannot be written or is no regular file, so the run can be refused before a
    // port is touched.
    explicit PassReport(const std::filesystem::path& path);
    ~PassReport();
    PassReport(const PassReport&) = delete;
    PassReport& operator=(const PassReport&) = delete;

    // Writes one line, whole or not at all; empty when it is in the file, else the reason it is
    // not (disk full, …).
    std::string Write(const PassRecord& record);

  private:
    std::mutex mutex_;
    ReportFile file_;
};

}  // namespace termload::cli
