// MainWindow: the port modes, the window's width and the status line they choose.
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>

#include "app/main_window.h"
#include "app/port_panels.h"
#include "app/window_text.h"
#include "config/model_rules.h"
#include "engine/host_sink.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kFilePanelHeight = 126;
constexpr int kReadyId = 60;

}  // namespace

bool MainWindow::UsbModeSelected() const {
    return ui_->rbusb->isChecked() || ui_->rbccid->isChecked();
}

int MainWindow::StatusLinePort() const {
    return UsbModeSelected() ? kTransportTallyPort : ui_->cmbPort->currentIndex() + 1;
}

void MainWindow::PortModeChanged() {
    const bool single = ui_->rbSingle->isChecked();
    const bool multi = ui_->rbMulti->isChecked();
    ui_->cmbPort->setEnabled(single);
    ui_->cmbPortNum->setEnabled(multi);
    ui_->pnlNormal->setVisible(!multi);
    ui_->btnTime->setEnabled(single);
    ReadControls();
    panels_->ShowOnStatusLine(StatusLinePort());

    if (multi) {
        SetFilePanelHeight(kFilePanelHeight + ui_->pnlNormal->height());
        PortCountChanged();
    } else {
        ShowReadyText(single);
        SetClientWidth(ui_->pnlProc8->x() - 2);
        SetFilePanelHeight(kFilePanelHeight);
    }
    CentreOnScreen();
    update();
    EnableControls(true);
}

// "[COMn] Ready" in black; the USB modes write it without the blank.
void MainWindow::ShowReadyText(bool blankBeforeText) {
    const int port = ui_->cmbPort->currentIndex() + 1;
    QString text = QStringLiteral("[COM%1]").arg(port);
    if (blankBeforeText) {
        text += u' ';
    }
    SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Black));
    ui_->lbCurrFile->setText(text + UiText(LangBase(), kReadyId));
}

void MainWindow::PortCountChanged() {
    ReadControls();
    const QWidget* lastColumn = ui_->pnlProc8;
    switch (ui_->cmbPortNum->currentIndex()) {
        case 1:
            lastColumn = ui_->pnlProc16;
            break;
        case 2:
            lastColumn = ui_->pnlProc27;
            break;
        default:
            break;
    }
    SetClientWidth(lastColumn->geometry().right() + 1 + 10);
    CentreOnScreen();
    update();
}

void MainWindow::PortChanged() {
    ReadControls();
    panels_->ShowOnStatusLine(StatusLinePort());
    SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Black));
    ui_->lbCurrFile->setText(QStringLiteral("[COM%1]").arg(ui_->cmbPort->currentIndex() + 1) +
                             UiText(LangBase(), kReadyId));
}

void MainWindow::ModelSelectionChanged() {
    ui_->rbMulti->setEnabled(true);
    ui_->cmbPortNum->setEnabled(true);
    ReadControls();
    ModelChanged(config_);
    if (config_.settings.kernelMode) {
        if (!ui_->rbSingle->isChecked()) {
            ui_->rbSingle->setChecked(true);  // runs PortModeChanged
        }
        ui_->rbMulti->setEnabled(false);
        ui_->cmbPortNum->setEnabled(false);
    }
}

void MainWindow::SetClientWidth(int width) {
    setFixedSize(width, kClientHeight);
}

void MainWindow::SetFilePanelHeight(int height) {
    ui_->pnlFiles->resize(ui_->pnlFiles->width(), height);
    ui_->ckFiles->resize(ui_->ckFiles->width(), height - ui_->ckFiles->y());
}

void MainWindow::CentreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

}  // namespace termload
