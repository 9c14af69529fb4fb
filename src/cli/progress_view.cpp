#include "cli/progress_view.h"

#include <unistd.h>

#include "cli/line_views.h"
#include "cli/live_view.h"

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
    return isatty(fileno(out)) ? ViewKind::Live : ViewKind::Plain;
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

}  // namespace termload::cli
