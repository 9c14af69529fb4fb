// How a run shows itself: live lines on a terminal, plain lines in a log, or JSON for a program.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/pass_tracker.h"
#include "engine/host_sink.h"

namespace termload::cli {

// "black", "red" or "blue".
std::string_view StatusColourName(StatusColour colour);

class ProgressView {
  public:
    virtual ~ProgressView() = default;
    // A port's status text changed; an empty colour keeps the colour in force.
    virtual void Status(int port, std::string_view text, std::optional<StatusColour> colour) = 0;
    // A port's progress bar moved.
    virtual void Progress(int port, const ProgressState& progress) = 0;
    // A line that belongs to no port (the summary, a warning), kept above the live lines.
    virtual void Note(std::string_view line) = 0;
    // Shows the final state and leaves the output ready for whatever follows.
    virtual void Finish() = 0;
};

enum class ViewKind { Live, Plain, Json };

// Live when `out` is a terminal, else plain; JSON when asked for.
ViewKind ChooseViewKind(std::FILE* out, bool json);

// `ports` lists the ports of the run, in the order their lines appear.
std::unique_ptr<ProgressView> MakeProgressView(ViewKind kind, const std::vector<int>& ports,
                                               std::FILE* out);

// The end of a run: a line per port and a total, or one JSON object {"event":"summary",...}.
void PrintSummary(ViewKind kind, const std::vector<PortTally>& tallies, int exitCode,
                  std::FILE* out);

}  // namespace termload::cli
