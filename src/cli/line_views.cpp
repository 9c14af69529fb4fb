#include "cli/line_views.h"

#include <nlohmann/json.hpp>

#include "cli/iso_time.h"

namespace termload::cli {
namespace {

constexpr auto kBlackTextInterval = std::chrono::seconds(1);

void WriteLine(std::FILE* out, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

std::string JsonLine(const nlohmann::ordered_json& object) {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void PlainView::Show(int port, PortLine& line) {
    WriteLine(out_, "COM" + std::to_string(port) + " " + line.text);
    line.shown = true;
    line.shownAt = std::chrono::steady_clock::now();
}

void PlainView::Status(int port, std::string_view text, std::optional<StatusColour> colour) {
    std::lock_guard lock(mutex_);
    PortLine& line = ports_[port];
    const StatusColour newColour = colour.value_or(line.colour);
    const bool throttled = newColour == StatusColour::Black && line.colour == StatusColour::Black &&
                           std::chrono::steady_clock::now() - line.shownAt < kBlackTextInterval;
    line.text = text;
    line.colour = newColour;
    line.shown = false;
    if (!throttled) {
        Show(port, line);
    }
}

void PlainView::Note(std::string_view text) {
    std::lock_guard lock(mutex_);
    WriteLine(out_, std::string(text));
}

void PlainView::Finish() {
    std::lock_guard lock(mutex_);
    for (auto& [port, line] : ports_) {
        if (!line.shown) {
            Show(port, line);
        }
    }
}

void JsonView::Status(int port, std::string_view text, std::optional<StatusColour> colour) {
    std::lock_guard lock(mutex_);
    StatusColour& inForce = colours_[port];
    inForce = colour.value_or(inForce);
    nlohmann::ordered_json event = {{"event", "status"},
                                    {"time", IsoLocalTime(std::chrono::system_clock::now())},
                                    {"port", port},
                                    {"text", std::string(text)},
                                    {"colour", StatusColourName(inForce)}};
    if (const auto found = progress_.find(port); found != progress_.end()) {
        event["position"] = found->second.position - found->second.minimum;
        event["maximum"] = found->second.maximum - found->second.minimum;
    }
    WriteLine(out_, JsonLine(event));
}

void JsonView::Progress(int port, const ProgressState& progress) {
    std::lock_guard lock(mutex_);
    progress_[port] = progress;
}

void JsonView::Note(std::string_view text) {
    std::lock_guard lock(mutex_);
    WriteLine(out_, JsonLine({{"event", "note"},
                              {"time", IsoLocalTime(std::chrono::system_clock::now())},
                              {"text", std::string(text)}}));
}

}  // namespace termload::cli
