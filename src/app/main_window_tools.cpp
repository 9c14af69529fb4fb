// TfrmMain: the clock download, the USB serial emulator check box, the CCID reader controls and
// the file-version read.
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
#include "channels/local_time.h"
#include "engine/clock_download.h"
#include "engine/host_sink.h"
#include "engine/version_exchange.h"
#include "engine/version_read.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kNoUsbEmulatorId = 114;
constexpr int kCcidReadFailedId = 138;
constexpr int kPortOpenFailedId = 74;

}  // namespace

void TfrmMain::btnTimeClick() {
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

void TfrmMain::ckUsbClick(bool checked) {
    if (checked) {
        if (!UsbEmulatorLookup()) {
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
bool TfrmMain::UsbEmulatorLookup() {
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

void TfrmMain::RefreshCCIDList() {
    ui_->cmbccid->clear();
    ui_->cmbccid->addItems(ListCcidReaders());
    if (ui_->cmbccid->count() > 0) {
        ui_->cmbccid->setCurrentIndex(0);
    }
}

// No reader can be connected while the reader list is empty: opening fails as a failed connect
// does.
void TfrmMain::btntestClick() {
    RefreshCCIDList();
    SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Red));
    ui_->lbCurrFile->setText(UiText(LangBase(), kCcidReadFailedId));
}

// Asks the terminal for its file versions and unchecks the rows it already holds as new. The
// window waits for the terminal's answer on its own thread: the read takes well under a second
// when a terminal answers.
void TfrmMain::ReadFileVersionClick() {
    ReadControls();
    const ControlsModel& controls = config_.controls;
    // No CCID reader connection is held by this window yet: that transport does not open.
    const VersionExchange exchange =
        MakeVersionExchange(VersionExchangeSetupOf(controls, config_.settings.TraceLog, nullptr));
    const VersionReadOutcome outcome =
        ReadFileVersions(controls.portMode == PortMode::Multi, exchange,
                         places_.appDir / kLocalVersionFileName, config_.files.Rows(), LangBase());

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
        FlashCtrls(true);
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
