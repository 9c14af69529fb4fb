// MainWindow: loading a configuration, the one at start-up or one the operator picks.
#include <QFileInfo>

#include "app/file_picker.h"
#include "app/main_window.h"
#include "app/port_panels.h"
#include "app/prompt.h"
#include "app/window_text.h"
#include "config/configuration_load.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr char kDebugModeSuffix[] = " - Debug Mode";

}  // namespace

bool MainWindow::LoadConfiguration(const QString& path, bool chosenByOperator) {
    ReadControls();
    const std::string file = ToUtf8(path);
    const LoadResult result = chosenByOperator
                                  ? LoadChosenConfiguration(config_, file, places_.appDir)
                                  : termload::LoadConfiguration(config_, file, places_.appDir);
    if (result.status == LoadStatus::CreateFailed) {
        ShowPrompt(this, PromptKind::Error, QStringLiteral("Create Config file failed! "));
        return false;
    }
    QString caption = QString::fromLatin1(kWindowTitle);
    if (config_.settings.debugMode) {
        caption += QString::fromLatin1(kDebugModeSuffix);
    }
    if (result.status == LoadStatus::Loaded) {
        panels_->ResetAllTallies();  // counts of another line set-up would mislead
        ApplyLanguage();
        ShowControls();
        panels_->ShowOnStatusLine(StatusLinePort());
        ShowFileRows();
        setWindowTitle(caption);
        EnableControls(true);
        ModelSelectionChanged();
        UpdateStartButton();
    } else {
        ApplyLanguage();  // the new empty file's language; the controls keep their values
        setWindowTitle(caption);
    }
    for (const PromptMessage& message : result.messages) {
        ShowPrompt(this, message.kind, ToQString(message.text));
    }
    return true;
}

void MainWindow::ChooseConfiguration() {
    const QString picked =
        PickFileToOpen(this, OpenFileRequest{QStringLiteral("选择下载配置文件"), configDialogDir_,
                                             QStringLiteral("下载配置文件(*.ini) (*.ini)"),
                                             ToQString(kDefaultConfigName)});
    if (!picked.isEmpty()) {
        configDialogDir_ = QFileInfo(picked).absolutePath();
        LoadConfiguration(picked, true);
    }
}

}  // namespace termload
