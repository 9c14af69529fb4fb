// Views that only ever append lines: plain text for logs, JSON for programs.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "cli/progress_view.h"

namespace termload::cli {

// "COM3 <status text>" per change. The per-block texts of a file would flood a log, so a black
// text follows the previous black text of its port only after a second; red and blue texts, and
// the last text of every port at the end, always show.
class PlainView : public ProgressView {
  public:
    explicit PlainView(std::FILE* out) : out_(out) {}
    void Status(int port, std::string_view text, std::optional<StatusColour> colour) override;
    void Progress(int, const ProgressState&) override {}
    void Note(std::string_view line) override;
    void Finish() override;

  private:
    struct PortLine {
        std::string text;
        StatusColour colour = StatusColour::Black;
        bool shown = true;
        std::chrono::steady_clock::time_point shownAt;
    };
    void Show(int port, PortLine& line);

    std::mutex mutex_;
    std::FILE* out_;
    std::map<int, PortLine> ports_;
};

// One JSON object per line: {"event":"status",...} for every status change, {"event":"note"} for
// lines outside the ports. Progress rides along with the next status change.
class JsonView : public ProgressView {
  public:
    explicit JsonView(std::FILE* out) : out_(out) {}
    void Status(int port, std::string_view text, std::optional<StatusColour> colour) override;
    void Progress(int port, const ProgressState& progress) override;
    void Note(std::string_view line) override;
    void Finish() override {}

  private:
    std::mutex mutex_;
    std::FILE* out_;
    std::map<int, StatusColour> colours_;
    std::map<int, ProgressState> progress_;
};

}  // namespace termload::cli
