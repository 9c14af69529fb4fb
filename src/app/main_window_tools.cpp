// TfrmMain: the clock download, the USB serial emulator check box, the CCID reader connection
// and the version read button.
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
#include "engine/clock_download.h"
#include "engine/host_sink.h"
#include "engine/stop_signal.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kNoUsbEmulatorId = 114;
constexpr int kCcidReadFailedId = 138;
constexpr int kCcidConnectedId = 139;
constexpr int kCcidDisconnectedId = 140;
constexpr int kCcidOpenId = 141;
constexpr int kCcidCloseId = 146;
constexpr int kCcidProbeAttempts = 3;
constexpr int kVersionReadUnavailableId = 186;

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

CcidReader& TfrmMain::Ccid() {
    if (!ccid_) {
        ccid_ = std::make_shared<CcidReader>();
    }
    return *ccid_;
}

void TfrmMain::RefreshCCIDList() {
    ui_->cmbccid->clear();
    ui_->cmbccid->addItems(ListCcidReaders(Ccid()));
    if (ccidReaderIndex_ < ui_->cmbccid->count()) {
        ui_->cmbccid->setCurrentIndex(ccidReaderIndex_);
    } else if (ui_->cmbccid->count() > 0) {
        ui_->cmbccid->setCurrentIndex(0);
    }
}

void TfrmMain::cmbccidChange(int index) {
    // The first reader is never remembered over another: it is the default anyway.
    if (index > 0) {
        ccidReaderIndex_ = index;
    }
}

// Opens the connection every CCID download goes over, or closes it when it is open. A terminal
// that does not answer ready is asked to restart and probed again, three times in all.
void TfrmMain::btntestClick() {
    RefreshCCIDList();
    if (ui_->btntest->text() == UiText(LangBase(), kCcidCloseId)) {
        CloseCCID();
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

void TfrmMain::CloseCCID() {
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

// The file-version read is not part of this build: say so rather than do nothing.
void TfrmMain::ReadFileVersionClick() {
    ShowPrompt(this, PromptKind::Information, UiText(LangBase(), kVersionReadUnavailableId));
}

}  // namespace termload
