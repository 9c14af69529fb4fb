// MainWindow: the clock button, its running caption and the clock packet it sends.
#include <QDateTime>
#include <QLabel>
#include <QPushButton>

#include "app/main_window.h"
#include "app/port_panels.h"
#include "app/window_text.h"
#include "channels/local_time.h"
#include "engine/clock_download.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kClockCaptionId = 111;

}  // namespace

void MainWindow::RefreshClockCaption() {
    ui_->btnTime->setText(
        UiText(LangBase(), kClockCaptionId) + QString::number(ui_->cmbPort->currentIndex() + 1) +
        QStringLiteral(")  ") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void MainWindow::SendClock() {
    ReadControls();
    const ControlsModel& controls = config_.controls;
    const int port = SelectedPortNumber(controls);
    // The clock always goes at its own baud rate; the other line settings are the window's.
    SerialSettings line;
    if (const int bits = SelectedDataBits(controls); bits != 0) {
        line.byteSize = bits;  // without a selection the line keeps its 8 bits
    }
    line.stopBitsIndex = controls.stopBitIndex;
    line.parityIndex = controls.parityIndex;
    line.flowControlIndex = controls.flowCtrlIndex;

    const ClockDownloadOutcome outcome =
        ClockDownload(port, line, ClockTimeOf(LocalCalendarTimeNow()));
    SetLabelColour(ui_->lbCurrFile, outcome.colour);
    ui_->lbCurrFile->setText(ToQString(ClockStatusText(port, outcome, LangBase())));
    ui_->lbCurrFile->repaint();
}

}  // namespace termload
