// MainWindow: the CCID reader list and the reader connection every CCID download goes over.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/ccid_readers.h"
#include "app/main_window.h"
#include "app/port_panels.h"
#include "app/window_text.h"
#include "channels/ccid_reader.h"
#include "engine/ccid_probe_policy.h"
#include "engine/host_sink.h"
#include "engine/message_pump.h"
#include "engine/stop_signal.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kCcidReadFailedId = 138;
constexpr int kCcidConnectedId = 139;
constexpr int kCcidDisconnectedId = 140;
constexpr int kCcidOpenId = 141;
constexpr int kCcidCloseId = 146;

}  // namespace

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

}  // namespace termload
