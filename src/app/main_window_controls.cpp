// MainWindow: the controls and the model of their values, and which of them the operator may use.
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "app/main_window.h"
#include "app/version_edit.h"
#include "app/window_text.h"
#include "ui_main_window.h"

namespace termload {

void MainWindow::EnableControls(bool enabled) {
    const bool debug = config_.settings.debugMode;
    const bool usb = UsbModeSelected();
    const auto enable = [](std::initializer_list<QWidget*> controls, bool on) {
        for (QWidget* control : controls) {
            control->setEnabled(on);
        }
    };
    enable({ui_->cmbMode, ui_->edVersion, ui_->ckFiles, ui_->bbtnadd}, enabled && debug);
    enable(
        {ui_->cmbBuardRate, ui_->cmbDataBit, ui_->cmbStopBit, ui_->cmbParityBit, ui_->cmbFlowCtrl},
        enabled && debug && !usb);
    enable({ui_->cmbccid, ui_->grpBox, ui_->btnAdd, ui_->btnDown}, enabled);
    enable({ui_->grpCom, ui_->ckUsb}, enabled && !usb);
    ui_->btnTime->setEnabled(ui_->rbSingle->isChecked());
    ui_->btntest->setEnabled(ui_->rbccid->isChecked());
}

void MainWindow::CompleteVersionText() {
    ui_->edVersion->setText(CompleteVersion(ui_->edVersion->text()));
}

void MainWindow::ShowControls() {
    const ControlsModel& controls = config_.controls;
    const QSignalBlocker blockModel(ui_->cmbMode);
    ui_->cmbMode->clear();
    for (const std::string& item : controls.modelItems) {
        ui_->cmbMode->addItem(ToQString(item));
    }
    ui_->cmbMode->setCurrentIndex(controls.modelIndex);
    ui_->edVersion->setText(ToQString(controls.hardVersion));
    const std::pair<QComboBox*, int> indexes[] = {
        {ui_->cmbPort, controls.portIndex},          {ui_->cmbPortNum, controls.portNumIndex},
        {ui_->cmbBuardRate, controls.baudRateIndex}, {ui_->cmbDataBit, controls.dataBitIndex},
        {ui_->cmbStopBit, controls.stopBitIndex},    {ui_->cmbParityBit, controls.parityIndex},
        {ui_->cmbFlowCtrl, controls.flowCtrlIndex},
    };
    for (const auto& [combo, index] : indexes) {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(index < combo->count() ? index : -1);
    }
}

void MainWindow::ReadControls() {
    ControlsModel& controls = config_.controls;
    controls.modelIndex = ui_->cmbMode->currentIndex();
    controls.hardVersion = ToUtf8(ui_->edVersion->text());
    controls.portIndex = ui_->cmbPort->currentIndex();
    controls.portNumIndex = ui_->cmbPortNum->currentIndex();
    controls.baudRateIndex = ui_->cmbBuardRate->currentIndex();
    controls.dataBitIndex = ui_->cmbDataBit->currentIndex();
    controls.stopBitIndex = ui_->cmbStopBit->currentIndex();
    controls.parityIndex = ui_->cmbParityBit->currentIndex();
    controls.flowCtrlIndex = ui_->cmbFlowCtrl->currentIndex();
    controls.portMode = ui_->rbMulti->isChecked()  ? PortMode::Multi
                        : ui_->rbusb->isChecked()  ? PortMode::UsbHid
                        : ui_->rbccid->isChecked() ? PortMode::UsbCcid
                                                   : PortMode::Single;
}

}  // namespace termload
