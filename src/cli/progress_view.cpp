#include "cli/progress_view.h"

#include <nlohmann/json.hpp>

#include "cli/line_views.h"
#include "cli/live_view.h"
#include "cli/terminal.h"

namespace termload::cli {

std::string_view StatusColourName(StatusColour colour) {
    switch (colour) {
        case StatusColour::Red:
            return "red";
        case StatusColour::Blue:
            return "blue";
        case StatusColour::Black:
            break;
    }
    return "black";
}

ViewKind ChooseViewKind(std::FILE* out, bool json) {
    if (json) {
        return ViewKind::Json;
    }
    return IsTerminal(out) ? ViewKind::Live : ViewKind::Plain;
}

std::unique_ptr<ProgressView> MakeProgressView(ViewKind kind, const std::vector<int>& ports,
                                               std::FILE* out) {
    switch (kind) {
        case ViewKind::Live:
            return std::make_unique<LiveView>(ports, out);
        case ViewKind::Json:
            return std::make_unique<JsonView>(out);
        case ViewKind::Plain:
            break;
    }
    return std::make_unique<PlainView>(out);
}

void PrintSummary(ViewKind kind, const std::vector<PortTally>& tallies, int exitCode,
                  std::FILE* out) {
    if (kind != ViewKind::Json) {
        for (const std::string& line : SummaryLines(tallies)) {
            std::fprintf(out, "%s\n", line.c_str());
        }
        std::fflush(out);
        return;
    }
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    for (const PortTally& tally : tallies) {
        ports.push_back({{"port", tally.port},
                         {"passes", tally.passesDone},
                         {"passesFailed", tally.passesFailed},
                         {"filesOk", tally.filesOk},
                         {"filesFailed", tally.filesFailed},
                         {"stoppedInPass", tally.stopped}});
    }
    const nlohmann::ordered_json summary = {
        {"event", "summary"}, {"ports", ports}, {"exitCode", exitCode}};
    std::fprintf(out, "%s\n", summary.dump().c_str());
    std::fflush(out);
}

}  // namespace termload::cli
