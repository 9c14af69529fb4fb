// One live line per port on a terminal, redrawn in place.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/progress_view.h"

namespace termload::cli {

// "COM3  [#######.............]  35%  <status text>" in the status colour. Changes are gathered
// and drawn at most ten times a second by a thread of the view's own, so a fast download never
// waits for the terminal.
class LiveView : public ProgressView {
  public:
    LiveView(const std::vector<int>& ports, std::FILE* out);
    ~LiveView() override;
    void Status(int port, std::string_view text, std::optional<StatusColour> colour) override;
    void Progress(int port, const ProgressState& progress) override;
    void Note(std::string_view line) override;
    void Finish() override;

  private:
    struct PortLine {
        std::string text;
        StatusColour colour = StatusColour::Black;
        int position = 0;
        int maximum = 0;
        bool countsBlocks = true;  // every move of the bar in its range so far was one step
    };
    void DrawLoop();
    void Draw();  // with mutex_ held

    std::mutex mutex_;
    std::condition_variable changed_;
    std::FILE* out_;
    std::vector<int> order_;
    std::map<int, PortLine> ports_;
    std::vector<std::string> pendingNotes_;
    bool dirty_ = true;
    bool drawn_ = false;  // the port lines are on the screen below the cursor's line
    bool finished_ = false;
    std::thread drawer_;
};

// The first `columns` terminal columns of a UTF-8 text (wide characters count two).
std::string FitColumns(std::string_view text, int columns);

}  // namespace termload::cli
