#include "engine/slot_status.h"

#include <algorithm>

namespace termload {

std::string StatusPrefix(int portNumber) {
    return "[COM" + std::to_string(portNumber) + "]";
}

void SlotStatus::Attach(HostSink* sink, int slot, int portNumber) {
    std::lock_guard lock(mutex_);
    sink_ = sink;
    slot_ = slot;
    portNumber_ = portNumber;
    text_.clear();
    colour_.reset();
    progress_ = ProgressState{};
}

// The host is told under the lock, so that two writers of one slot reach it in the order in which
// their texts were set.
void SlotStatus::Show(std::string text, std::optional<StatusColour> colour) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
    if (colour) {
        colour_ = colour;
    }
    if (sink_ != nullptr) {
        sink_->SetStatus(slot_, text_, colour);
    }
}

void SlotStatus::ShowWithPrefix(std::string_view text, std::optional<StatusColour> colour) {
    int port = 0;
    {
        std::lock_guard lock(mutex_);
        port = portNumber_;
    }
    Show(StatusPrefix(port).append(text), colour);
}

std::string SlotStatus::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

std::optional<StatusColour> SlotStatus::Colour() const {
    std::lock_guard lock(mutex_);
    return colour_;
}

void SlotStatus::SetProgressRange(int minimum, int maximum) {
    std::lock_guard lock(mutex_);
    progress_.minimum = minimum;
    progress_.maximum = std::max(minimum, maximum);
    PublishProgress();
}

void SlotStatus::SetProgressPosition(int position) {
    std::lock_guard lock(mutex_);
    progress_.position = position;
    PublishProgress();
}

void SlotStatus::StepProgress() {
    std::lock_guard lock(mutex_);
    ++progress_.position;
    PublishProgress();
}

ProgressState SlotStatus::Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

// Like a progress bar, the position never leaves the range.
void SlotStatus::PublishProgress() {
    progress_.position = std::clamp(progress_.position, progress_.minimum, progress_.maximum);
    if (sink_ != nullptr) {
        sink_->SetProgress(slot_, progress_);
    }
}

}  // namespace termload
