#include "cli/live_view.h"

#include <algorithm>
#include <cstdint>

#include "cli/terminal.h"

namespace termload::cli {
namespace {

constexpr auto kDrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 20;
constexpr int kDefaultColumns = 80;

const char* ColourEscape(StatusColour colour) {
    switch (colour) {
        case StatusColour::Red:
            return "\x1b[31m";
        case StatusColour::Blue:
            return "\x1b[1;34m";
        case StatusColour::Black:
            break;
    }
    return "";  // the terminal's own foreground: black on a dark background would not show
}

int ColumnsOf(std::FILE* out) {
    const int columns = TerminalColumns(out);
    return columns > 0 ? columns : kDefaultColumns;
}

// Length in bytes of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// Wide arithmetic: a bar may count bytes.
int Share(int position, int maximum, int whole) {
    if (maximum <= 0) {
        return 0;
    }
    const std::int64_t done = std::clamp(position, 0, maximum);
    return static_cast<int>(done * whole / maximum);
}

std::string Bar(int position, int maximum) {
    const int filled = Share(position, maximum, kBarWidth);
    return "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";
}

}  // namespace

std::string FitColumns(std::string_view text, int columns) {
    std::string fitted;
    int used = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = std::min(SequenceLength(text[i]), text.size() - i);
        // Three- and four-byte sequences are CJK and the like: two columns on a terminal.
        const int width = length >= 3 ? 2 : 1;
        if (used + width > columns) {
            break;
        }
        fitted.append(text.substr(i, length));
        used += width;
        i += length;
    }
    return fitted;
}

LiveView::LiveView(const std::vector<int>& ports, std::FILE* out) : out_(out), order_(ports) {
    for (int port : ports) {
        ports_[port];
    }
    drawer_ = std::thread([this] { DrawLoop(); });
}

LiveView::~LiveView() {
    Finish();
}

void LiveView::Status(int port, std::string_view text, std::optional<StatusColour> colour) {
    std::lock_guard lock(mutex_);
    PortLine& line = ports_[port];
    line.text = text;
    line.colour = colour.value_or(line.colour);
    dirty_ = true;
    changed_.notify_one();
}

void LiveView::Progress(int port, const ProgressState& progress) {
    std::lock_guard lock(mutex_);
    PortLine& line = ports_[port];
    const int position = progress.position - progress.minimum;
    const int maximum = progress.maximum - progress.minimum;
    if (maximum != line.maximum) {
        line.countsBlocks = true;
    } else if (position > line.position + 1) {
        // The frame flow moves its bar a block at a time and sets it full when the file ends,
        // however it ended: after a stop or a failure that is no progress, and a finished file
        // shows blue anyway. Bars that count bytes or KiB move in larger steps up to the end.
        if (position == maximum && line.countsBlocks) {
            return;
        }
        line.countsBlocks = false;
    }
    line.position = position;
    line.maximum = maximum;
    dirty_ = true;
    changed_.notify_one();
}

void LiveView::Note(std::string_view text) {
    std::lock_guard lock(mutex_);
    pendingNotes_.emplace_back(text);
    dirty_ = true;
    changed_.notify_one();
}

void LiveView::Finish() {
    {
        std::lock_guard lock(mutex_);
        if (finished_) {
            return;
        }
        finished_ = true;
        changed_.notify_one();
    }
    drawer_.join();
    std::lock_guard lock(mutex_);
    Draw();
}

void LiveView::DrawLoop() {
    std::unique_lock lock(mutex_);
    while (!finished_) {
        changed_.wait(lock, [this] { return dirty_ || finished_; });
        if (finished_) {
            break;
        }
        Draw();
        // Let changes gather before the next drawing; Finish cuts the pause short.
        changed_.wait_for(lock, kDrawInterval, [this] { return finished_; });
    }
}

void LiveView::Draw() {
    const int columns = ColumnsOf(out_);
    std::string screen;
    if (drawn_) {
        // Back to the first port line; lines are cut to the width, so none has wrapped.
        screen += "\r\x1b[" + std::to_string(order_.size()) + "A";
    }
    for (const std::string& note : pendingNotes_) {
        screen += "\x1b[2K" + note + "\n";
    }
    pendingNotes_.clear();
    for (int port : order_) {
        const PortLine& line = ports_[port];
        // A blue text is a finished file, whatever position the engine left its bar at.
        const bool done = line.colour == StatusColour::Blue;
        const int maximum = done ? 1 : line.maximum;
        const int position = done ? 1 : line.position;
        const int percent = Share(position, maximum, 100);
        char head[64];
        std::snprintf(head, sizeof head, "COM%-3d %s %3d%%  ", port, Bar(position, maximum).c_str(),
                      percent);
        const std::string text = FitColumns(std::string(head) + line.text, columns - 1);
        screen += "\x1b[2K";
        screen += ColourEscape(line.colour);
        screen += text;
        screen += "\x1b[0m\n";
    }
    std::fwrite(screen.data(), 1, screen.size(), out_);
    std::fflush(out_);
    drawn_ = true;
    dirty_ = false;
}

}  // namespace termload::cli
