// MainWindow: starting and stopping a download, and the start button that shows which comes next.
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "app/glyphs.h"
#include "app/gui_host_sink.h"
#include "app/main_window.h"
#include "app/port_panels.h"
#include "app/prompt.h"
#include "app/window_download.h"
#include "app/window_text.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kStopCaptionId = 51;
constexpr int kStartCaptionId = 61;

// The hourglass while the slots stop, restored whatever happens.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

bool MainWindow::IsDownloading() const {
    return download_->Running();
}

void MainWindow::ToggleDownload() {
    if (download_->Busy()) {
        return;
    }
    EnableControls(false);
    if (IsDownloading()) {
        StopDownload();
        return;
    }
    ReadControls();
    StartOptions options;
    options.userAddrFile = places_.appDir / kUserAddrFileName;
    options.addressTraceDir = places_.appDir;
    options.ccidReader = ccid_;
    options.timings = places_.timings;
    // A refusal leaves the rows as they are: the operator decides what a terminal is sent.
    const StartCheck check = CheckStart(config_, options);
    for (const PromptMessage& message : check.messages) {
        ShowPrompt(this, message.kind, ToQString(message.text));
    }
    if (!check.job) {
        EnableControls(true);
        return;
    }

    BindSlotsToPanels(check.job->portMode == PortMode::Multi);
    if (download_->Start(check.job)) {
        ui_->btnDown->setText(UiText(LangBase(), kStopCaptionId));
        SetStartButtonGlyph(kGlyphStop);
        ui_->btnDown->setEnabled(true);
        ui_->btnDown->repaint();
    } else {
        EnableControls(true);  // no thread could be started
    }
    TakeUpPendingRequests();
}

// A stop or a close asked for while threads were being started is carried out now.
void MainWindow::TakeUpPendingRequests() {
    if (std::exchange(stopPending_, false) && IsDownloading()) {
        StopDownload();
    }
    if (std::exchange(closePending_, false)) {
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

// Slot 0 reports into the status line of the single-port and USB modes; in multi-port mode slot
// i reports into port panel i + 1. Passes count on the tally of the COM port they ran on, also
// in single-port mode, where the status line shows that port's tally; the USB modes count on the
// transport's own.
void MainWindow::BindSlotsToPanels(bool multiPort) {
    sink_->Flush();
    PortPanels* panels = panels_.get();
    const auto countOn = [panels](int port) {
        return [panels, port](const PassOutcomes& outcomes) { panels->Record(port, outcomes); };
    };
    for (int slot = 0; slot < kPortPanelCount; ++slot) {
        if (multiPort) {
            sink_->BindSlot(slot, panels_->Label(slot + 1), panels_->Bar(slot + 1),
                            countOn(slot + 1));
        } else if (slot == 0) {
            panels_->ShowOnStatusLine(StatusLinePort());
            sink_->BindSlot(slot, ui_->lbCurrFile, ui_->Process, countOn(StatusLinePort()));
        } else {
            sink_->BindSlot(slot, nullptr, nullptr);
        }
    }
}

void MainWindow::StopDownload() {
    if (download_->Busy()) {
        stopPending_ = true;
        return;
    }
    EnableControls(false);
    {
        const WaitCursor hourglass;
        download_->Stop();
    }
    sink_->CloseErrorBoxes();
    sink_->Flush();
    UpdateStartButton();
    ui_->btnDown->setText(UiText(LangBase(), kStartCaptionId));
    SetStartButtonGlyph(kGlyphStart);
    EnableControls(true);
    RefreshCcidReaders();
    // A CCID run leaves the reader closed: the next terminal is opened (and probed) afresh.
    CloseCcidConnection();
    TakeUpPendingRequests();
}

void MainWindow::SetStartButtonGlyph(int index) {
    ui_->btnDown->setIcon(ButtonGlyph(index));
    ui_->btnDown->setIconSize(QSize(kGlyphSize, kGlyphSize));
}

}  // namespace termload
