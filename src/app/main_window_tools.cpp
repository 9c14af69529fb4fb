// MainWindow: the clock download, the USB serial emulator check box, the CCID reader connection
// and the file-version read.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/ccid_readers.h"
#include "app/main_window.h"
#include "app/port_panels.h"
#include "app/prompt.h"
#include "app/window_text.h"
#include "channels/ccid_reader.h"
#include "channels/local_time.h"
#include "engine/ccid_probe_policy.h"
#include "engine/clock_download.h"
#include "engine/host_sink.h"
#include "engine/message_pump.h"
#include "engine/stop_signal.h"
#include "engine/version_exchange.h"
#include "engine/version_read.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kNoUsbEmulatorId = 114;
constexpr int kCcidReadFailedId = 138;
constexpr int kPortOpenFailedId = 74;
constexpr int kCcidConnectedId = 139;
constexpr int kCcidDisconnectedId = 140;
constexpr int kCcidOpenId = 141;
constexpr int kCcidCloseId = 146;

}  // namespace

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

void MainWindow::UsbEmulatorToggled(bool checked) {
    if (checked) {
        if (!SelectUsbEmulatorPort()) {
            ShowPlainMessage(QStringLiteral("Termload"), UiText(LangBase(), kNoUsbEmulatorId));
            ui_->ckUsb->setChecked(false);
        }
        return;
    }
    ui_->rbSingle->setEnabled(true);
    ui_->rbMulti->setEnabled(true);
    ui_->cmbPort->setEnabled(true);
}

// Selects the emulator's port as the single download port and locks the port choice.
bool MainWindow::SelectUsbEmulatorPort() {
    const std::optional<int> comNumber = places_.usbEmulatorPort();
    if (!comNumber) {
        return false;
    }
    const int index = ui_->cmbPort->findText(QStringLiteral("COM%1").arg(*comNumber),
                                             Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        return false;
    }
    ui_->cmbPort->setCurrentIndex(index);
    ReadControls();
    ui_->rbSingle->setChecked(true);
    ui_->rbSingle->setEnabled(false);
    ui_->rbMulti->setEnabled(false);
    ui_->cmbPort->setEnabled(false);
    return true;
}

CcidReader& MainWindow::Ccid() {
    if (!ccid_) {
        ccid_ = std::make_shared<CcidReader>();
    }
    return *ccid_;
}

void MainWindow::RefreshCcidReaders() {
    ui_->cmbccid->clear();
    ui_->cmbccid->addItems(ListCcidReaders(Ccid()));
    if (ccidReaderIndex_ < ui_->cmbccid->count()) {
        ui_->cmbccid->setCurrentIndex(ccidReaderIndex_);
    } else if (ui_->cmbccid->count() > 0) {
        ui_->cmbccid->setCurrentIndex(0);
    }
}

void MainWindow::CcidReaderChosen(int index) {
    // Whichever reader the operator picks is the one Open connects to, the first one included.
    if (index >= 0) {
        ccidReaderIndex_ = index;
    }
}

// Opens the connection every CCID download goes over, or closes it when it is open. A terminal
// that does not answer ready is asked to restart and probed again, three times in all.
void MainWindow::ToggleCcidConnection() {
    RefreshCcidReaders();
    if (ui_->btntest->text() == UiText(LangBase(), kCcidCloseId)) {
        CloseCcidConnection();
        return;
    }
    const std::vector<std::string> readers = Ccid().ListReaders();
    const auto failed = [this] {
        SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Red));
        ui_->lbCurrFile->setText(UiText(LangBase(), kCcidReadFailedId));
    };
    if (ccidReaderIndex_ >= static_cast<int>(readers.size())) {
        failed();  // no reader: nothing to connect to
        return;
    }
    // The pauses let the window repaint; the button waits until the attempts are over.
    ui_->btntest->setEnabled(false);
    const int opened = Ccid().OpenAndProbe(readers[static_cast<std::size_t>(ccidReaderIndex_)],
                                           kCcidProbeAttempts, [this] {
                                               DelayWithMessages(places_.ccidRestartPauseMs);
                                               return true;
                                           });
    ui_->btntest->setEnabled(ui_->rbccid->isChecked());
    if (opened != 1) {
        failed();
        return;
    }
    ui_->btntest->setText(UiText(LangBase(), kCcidCloseId));
    SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Blue));
    ui_->lbCurrFile->setText(UiText(LangBase(), kCcidConnectedId));
    // While connected the operator cannot switch to another transport.
    for (QRadioButton* radio : {ui_->rbSingle, ui_->rbMulti, ui_->rbusb}) {
        radio->setEnabled(false);
    }
}

void MainWindow::CloseCcidConnection() {
    for (QRadioButton* radio : {ui_->rbSingle, ui_->rbMulti, ui_->rbusb}) {
        radio->setEnabled(true);
    }
    Ccid().Close();
    ui_->btntest->setText(UiText(LangBase(), kCcidOpenId));
    if (ui_->rbccid->isChecked()) {
        SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Red));
        ui_->lbCurrFile->setText(UiText(LangBase(), kCcidDisconnectedId));
    }
}

// Asks the terminal for its file versions and unchecks the rows it already holds as new. The
// window waits for the terminal's answer on its own thread: the read takes well under a second
// when a terminal answers.
void MainWindow::ReadTerminalVersions() {
    ReadControls();
    const ControlsModel& controls = config_.controls;
    const VersionExchange exchange =
        MakeVersionExchange(VersionExchangeSetupOf(controls, config_.settings.traceLog, &Ccid()));
    const VersionReadOutcome outcome =
        ReadFileVersions(controls.portMode == PortMode::Multi, exchange,
                         places_.appDir / kLocalVersionFileName, config_.files.Rows(), LangBase());
    if (controls.portMode == PortMode::UsbCcid) {
        CloseCcidConnection();  // every version read ends the reader connection: the controls say
                                // so
    }

    if (outcome.checkedAllFirst) {
        for (std::size_t row = 0; row < config_.files.Size(); ++row) {
            config_.files.SetChecked(static_cast<int>(row), true);
        }
        ShowFileRows();
    }
    if (outcome.openFailed) {
        QString text = UiText(LangBase(), kPortOpenFailedId);
        if (ui_->rbSingle->isChecked()) {
            text.prepend(QStringLiteral("[COM%1]").arg(SelectedPortNumber(controls)));
        }
        SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Red));
        ui_->lbCurrFile->setText(text);
        ui_->lbCurrFile->repaint();
        EnableControls(true);
        return;
    }
    for (const VersionRowVerdict& verdict : outcome.verdicts) {
        if (!verdict.prompt.empty()) {
            ShowPrompt(this, PromptKind::Error, ToQString(verdict.prompt));
        }
        if (verdict.uncheck && config_.files.SetChecked(static_cast<int>(verdict.row), false)) {
            ShowFileRows();
        }
    }
}

}  // namespace termload
