// MainWindow: reading the terminal's file versions and unchecking the rows it already holds.
#include <QLabel>
#include <QRadioButton>

#include "app/main_window.h"
#include "app/port_panels.h"
#include "app/prompt.h"
#include "app/window_text.h"
#include "engine/host_sink.h"
#include "engine/version_exchange.h"
#include "engine/version_read.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kPortOpenFailedId = 74;

}  // namespace

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
