// MainWindow: the USB serial emulator check box, which locks the download to the emulator's port.
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>

#include "app/main_window.h"
#include "app/prompt.h"
#include "app/window_text.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kNoUsbEmulatorId = 114;

}  // namespace

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

}  // namespace termload
