// A slot's status as the engine keeps it and the host shows it, and the prefix of its texts.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "engine/host_sink.h"

namespace termload {

// "[COM" + port number + "]": the prefix of a slot's status texts (port 0 for USB-HID and CCID).
std::string StatusPrefix(int portNumber);

// What a slot shows: its status text, colour and progress, kept by the engine (texts that build
// on "the current text" read it here, never from a widget) and forwarded to the host.
class SlotStatus {
  public:
    void Attach(HostSink* sink, int slot, int portNumber);

    // Sets the text as given, or StatusPrefix + text for ShowWithPrefix.
    void Show(std::string text, std::optional<StatusColour> colour = std::nullopt);
    void ShowWithPrefix(std::string_view text, std::optional<StatusColour> colour = std::nullopt);
    std::string Text() const;
    std::optional<StatusColour> Colour() const;

    void SetProgressRange(int minimum, int maximum);  // the position is kept within the range
    void SetProgressPosition(int position);
    void StepProgress();
    ProgressState Progress() const;

  private:
    void PublishProgress();  // with mutex_ held

    HostSink* sink_ = nullptr;
    int slot_ = 0;
    int portNumber_ = 0;
    mutable std::mutex mutex_;
    std::string text_;
    std::optional<StatusColour> colour_;
    ProgressState progress_;
};

}  // namespace termload
