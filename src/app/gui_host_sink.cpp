#include "app/gui_host_sink.h"

#include <QDateTime>
#include <QLabel>
#include <QMessageBox>
#include <QObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTimer>
#include <utility>

#include "app/port_panels.h"
#include "app/window_text.h"

namespace termload {
namespace {

bool ValidSlot(int slot) {
    return slot >= 0 && slot < kHostSlotCount;
}

}  // namespace

GuiHostSink::GuiHostSink(QWidget* window, QPlainTextEdit* console, Handlers handlers,
                         int flushIntervalMs)
    : window_(window),
      console_(console),
      context_(std::make_unique<QObject>()),
      flushTimer_(new QTimer(context_.get())),
      handlers_(std::move(handlers)),
      flushIntervalMs_(flushIntervalMs) {
    flushTimer_->setSingleShot(true);
    QObject::connect(flushTimer_, &QTimer::timeout, context_.get(), [this] { Flush(); });
    sinceFlush_.start();
}

GuiHostSink::~GuiHostSink() {
    CloseErrorBoxes();
}

void GuiHostSink::BindSlot(int slot, QLabel* label, QProgressBar* bar, TallyRecorder tally) {
    if (ValidSlot(slot)) {
        widgets_[slot] = SlotWidgets{label, bar, std::move(tally)};
    }
}

void GuiHostSink::SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) {
    if (!ValidSlot(slot)) {
        return;
    }
    std::lock_guard lock(mutex_);
    PendingSlot& pending = pending_[slot];
    pending.text = text;
    if (colour) {
        pending.colour = colour;
    }
    SlotTrack& track = tracks_[slot];
    if (colour) {
        track.colour = colour;
    }
    track.text = text;
    if (track.colour == StatusColour::Red) {
        track.red = FailureNote{ToQString(text), QDateTime::currentDateTime()};
    }
    RequestFlushLocked();
}

void GuiHostSink::PassStarted(int slot, int /*pass*/) {
    if (!ValidSlot(slot)) {
        return;
    }
    std::lock_guard lock(mutex_);
    tracks_[slot].red.reset();
}

// A failed pass without a red text of its own is noted with the text it ended on.
void GuiHostSink::PassFinished(int slot, int /*pass*/, bool ok) {
    if (!ValidSlot(slot)) {
        return;
    }
    std::lock_guard lock(mutex_);
    SlotTrack& track = tracks_[slot];
    std::optional<FailureNote> note;
    if (!ok) {
        note = track.red ? *track.red
                         : FailureNote{ToQString(track.text), QDateTime::currentDateTime()};
    }
    track.red.reset();
    pending_[slot].outcomes.Add(ok, std::move(note));
    RequestFlushLocked();
}

void GuiHostSink::SetProgress(int slot, const ProgressState& progress) {
    if (!ValidSlot(slot)) {
        return;
    }
    std::lock_guard lock(mutex_);
    pending_[slot].progress = progress;
    RequestFlushLocked();
}

void GuiHostSink::ShowConsoleText(const std::string& text) {
    std::lock_guard lock(mutex_);
    pendingConsole_ = text;
    RequestFlushLocked();
}

void GuiHostSink::ClearConsoleText() {
    ShowConsoleText(std::string());
}

void GuiHostSink::RequestFlushLocked() {
    if (flushRequested_) {
        return;
    }
    flushRequested_ = true;
    QMetaObject::invokeMethod(
        context_.get(), [this] { FlushWhenDue(); }, Qt::QueuedConnection);
}

void GuiHostSink::FlushWhenDue() {
    {
        std::lock_guard lock(mutex_);
        if (!flushRequested_) {
            return;  // a flush on the GUI thread took the reports meanwhile
        }
    }
    const qint64 elapsed = sinceFlush_.elapsed();
    if (elapsed >= flushIntervalMs_) {
        Flush();
    } else if (!flushTimer_->isActive()) {
        flushTimer_->start(static_cast<int>(flushIntervalMs_ - elapsed));
    }
}

void GuiHostSink::Flush() {
    flushTimer_->stop();
    sinceFlush_.restart();
    std::array<PendingSlot, kHostSlotCount> pending;
    std::optional<std::string> console;
    {
        std::lock_guard lock(mutex_);
        pending.swap(pending_);
        console.swap(pendingConsole_);
        flushRequested_ = false;
    }
    for (int slot = 0; slot < kHostSlotCount; ++slot) {
        const PendingSlot& update = pending[slot];
        const SlotWidgets& widgets = widgets_[slot];
        if (widgets.label != nullptr) {
            if (update.colour) {
                SetLabelColour(widgets.label, static_cast<std::uint32_t>(*update.colour));
            }
            if (update.text) {
                widgets.label->setText(ToQString(*update.text));
            }
        }
        if (widgets.bar != nullptr && update.progress) {
            widgets.bar->setRange(update.progress->minimum, update.progress->maximum);
            widgets.bar->setValue(update.progress->position);
        }
        if (widgets.tally && !update.outcomes.Empty()) {
            widgets.tally(update.outcomes);
        }
    }
    if (console && console_ != nullptr) {
        console_->setPlainText(ToQString(*console));
        console_->verticalScrollBar()->setValue(console_->verticalScrollBar()->maximum());
    }
}

void GuiHostSink::RunEnded(int slot) {
    QMetaObject::invokeMethod(
        context_.get(),
        [this, slot] {
            if (handlers_.runEnded) {
                handlers_.runEnded(slot);
            }
        },
        Qt::QueuedConnection);
}

void GuiHostSink::ShowError(int /*slot*/, const std::string& text,
                            std::shared_ptr<ErrorAnswer> answer) {
    QMetaObject::invokeMethod(
        context_.get(),
        [this, text = ToQString(text), answer = std::move(answer)]() mutable {
            ShowErrorBox(text, std::move(answer));
        },
        Qt::QueuedConnection);
}

// The box does not block the window: the operator can still press stop while it is open, and the
// thread that raised it waits for its answer or for the stop.
void GuiHostSink::ShowErrorBox(const QString& text, std::shared_ptr<ErrorAnswer> answer) {
    Flush();  // the slot's texts that led to the error show before it
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Termload"), text,
                                QMessageBox::Ok, window_);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box,
                     [answer = std::move(answer)] { answer->Acknowledge(); });
    std::erase_if(errorBoxes_, [](const QPointer<QMessageBox>& open) { return open == nullptr; });
    errorBoxes_.emplace_back(box);
    box->show();
}

void GuiHostSink::CloseErrorBoxes() {
    for (const QPointer<QMessageBox>& box : errorBoxes_) {
        if (box != nullptr) {
            QObject::disconnect(box, &QMessageBox::finished, nullptr, nullptr);
            box->close();
        }
    }
    errorBoxes_.clear();
}

}  // namespace termload
