// The window's side of the engine's host interface. Download threads call it from their own
// threads; every report is carried to the GUI thread.
//
// Status texts and progress are coalesced per slot: a thread that reports faster than the window
// repaints replaces its own pending report instead of queueing another one, so the queue between
// the threads and the window stays bounded (at most one pending update per slot) and the window
// stays responsive. Pending reports are applied at most once a frame (kFlushIntervalMs): reports
// that come sooner after a flush wait on a timer for the rest of the frame. What a slot shows is
// always its latest report, and the reports it does show appear in the order the thread made them.
//
// Pass outcomes go, once a frame, to the tally bound to the slot; a failed pass carries the slot's
// last red status text of that pass and the time it was shown.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/port_tally.h"
#include "engine/host_sink.h"

class QLabel;
class QMessageBox;
class QObject;
class QPlainTextEdit;
class QProgressBar;
class QTimer;
class QWidget;

namespace termload {

inline constexpr int kHostSlotCount = 27;
inline constexpr int kFlushIntervalMs = 16;

class GuiHostSink final : public HostSink {
  public:
    // GUI thread: counts a slot's pass outcomes somewhere.
    using TallyRecorder = std::function<void(const PassOutcomes&)>;

    struct Handlers {
        std::function<void(int slot)> runEnded;
    };

    // `window` owns the error boxes and receives the queued reports; `console` shows the
    // terminal's console text.
    GuiHostSink(QWidget* window, QPlainTextEdit* console, Handlers handlers,
                int flushIntervalMs = kFlushIntervalMs);
    ~GuiHostSink() override;

    // GUI thread: where slot `slot` shows its status and counts its passes from now on (null
    // widgets: nowhere).
    void BindSlot(int slot, QLabel* label, QProgressBar* bar, TallyRecorder tally = {});
    // GUI thread: applies every pending report now.
    void Flush();
    // GUI thread: closes the error boxes still open, answering none of them.
    void CloseErrorBoxes();

    void SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) override;
    void SetProgress(int slot, const ProgressState& progress) override;
    void ShowConsoleText(const std::string& text) override;
    void ClearConsoleText() override;
    void ShowError(int slot, const std::string& text, std::shared_ptr<ErrorAnswer> answer) override;
    void RunEnded(int slot) override;
    void PassStarted(int slot, int pass) override;
    void PassFinished(int slot, int pass, bool ok) override;

  private:
    struct PendingSlot {
        std::optional<std::string> text;
        std::optional<StatusColour> colour;
        std::optional<ProgressState> progress;
        PassOutcomes outcomes;
    };
    // What a slot has shown in its current pass, for the note of a failed pass.
    struct SlotTrack {
        std::optional<StatusColour> colour;  // the colour in force
        std::string text;                    // the latest text
        std::optional<FailureNote> red;      // the latest red text of the pass
    };
    struct SlotWidgets {
        QPointer<QLabel> label;
        QPointer<QProgressBar> bar;
        TallyRecorder tally;
    };

    // With mutex_ held: asks the GUI thread for one Flush unless one is already on its way.
    void RequestFlushLocked();
    // GUI thread: flushes now, or when a frame has passed since the last flush.
    void FlushWhenDue();
    void ShowErrorBox(const QString& text, std::shared_ptr<ErrorAnswer> answer);

    QWidget* window_;
    QPlainTextEdit* console_;
    // Receives the queued reports on the GUI thread; reports still queued when the sink goes are
    // dropped with it.
    std::unique_ptr<QObject> context_;
    QTimer* flushTimer_;  // owned by context_; runs while reports wait for the next frame
    Handlers handlers_;
    int flushIntervalMs_;

    std::mutex mutex_;  // guards everything below it
    std::array<PendingSlot, kHostSlotCount> pending_;
    std::array<SlotTrack, kHostSlotCount> tracks_;
    std::optional<std::string> pendingConsole_;
    bool flushRequested_ = false;

    // GUI thread only.
    QElapsedTimer sinceFlush_;
    std::array<SlotWidgets, kHostSlotCount> widgets_;
    std::vector<QPointer<QMessageBox>> errorBoxes_;
};

}  // namespace termload
