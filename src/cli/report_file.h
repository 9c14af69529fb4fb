// The report's file: a regular file, new or appended to, that takes whole lines only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace termload::cli {

class ReportFile {
  public:
    // Opens (creating when needed) `path` for appending. Throws std::runtime_error with a
    // one-line reason when it cannot be written or is no regular file: a FIFO would block the
    // run until someone reads it, a device would take the lines somewhere else.
    explicit ReportFile(const std::filesystem::path& path);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Appends `line` whole or not at all: a write cut short (a full disk, a size limit) is
    // taken back, so a reader never meets half a line. Empty when the line is in the file,
    // else the system's reason.
    std::string AppendWhole(std::string_view line);

  private:
    std::intptr_t handle_;
};

}  // namespace termload::cli
