// MainWindow: the file list, its pop-up menu and the rename dialog.
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>

#include "app/file_picker.h"
#include "app/main_window.h"
#include "app/prompt.h"
#include "app/rename_dialog.h"
#include "app/window_text.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kPathLabelId = 14;
constexpr int kChooseRowId = 115;
constexpr int kHeadingWidths[] = {71, 120, 115};
constexpr int kHeadingHeight = 18;

}  // namespace

void MainWindow::BuildFileListHeader() {
    header_ = new QHeaderView(Qt::Horizontal, ui_->pnlFiles);
    header_->setObjectName(QStringLiteral("HeaderControl"));
    header_->setModel(new QStandardItemModel(0, 3, header_));
    header_->setSectionsClickable(false);
    header_->setSectionResizeMode(QHeaderView::Fixed);
    header_->setHighlightSections(false);
    for (int column = 0; column < 3; ++column) {
        header_->resizeSection(column, kHeadingWidths[column]);
    }
    header_->setGeometry(0, 0, ui_->pnlFiles->width(), kHeadingHeight);
}

// Rebuilds the list box from the file list, which is the one record of rows and check marks.
void MainWindow::ShowFileRows() {
    const QSignalBlocker blocker(ui_->ckFiles);
    ui_->ckFiles->clear();
    for (const FileRow& row : config_.files.Rows()) {
        auto* item = new QListWidgetItem(ToQString(row.text), ui_->ckFiles);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(row.checked ? Qt::Checked : Qt::Unchecked);
    }
    ui_->ckFiles->setCurrentRow(config_.files.SelectedRow());
}

void MainWindow::RowCheckChanged(int row, bool checked) {
    config_.files.SetChecked(row, checked);
    UpdateStartButton();
}

void MainWindow::UpdateStartButton() {
    const FileListCheck check = termload::CheckFileListForStart(
        config_.files, config_.settings.configFileRow, ui_->cmbMode->currentIndex() >= 0);
    if (check.checkFirstRow && !config_.files.Rows().front().checked) {
        config_.files.SetChecked(0, true);
        const QSignalBlocker blocker(ui_->ckFiles);
        ui_->ckFiles->item(0)->setCheckState(Qt::Checked);
    }
    ui_->btnDown->setEnabled(check.startEnabled);
}

void MainWindow::ShowSelectedRowPath() {
    const int row = config_.files.SelectedRow();
    if (!config_.settings.debugMode || row < 0) {
        return;
    }
    const std::optional<DownloadFileEntry> entry =
        DecodeFileEntry(config_.files.Rows()[static_cast<std::size_t>(row)].entry);
    const QString directory = entry ? ToQString(DirectoryPart(entry->sourcePath)) : QString();
    ui_->lbPath->setText(UiText(LangBase(), kPathLabelId) + QStringLiteral(": ") + directory);
}

void MainWindow::RenameSelectedRow() {
    const int row = config_.files.SelectedRow();
    if (row < 0) {
        ShowPlainMessage(QStringLiteral("Error"), UiText(LangBase(), kChooseRowId));
        return;
    }
    const std::optional<DownloadFileEntry> entry =
        DecodeFileEntry(config_.files.Rows()[static_cast<std::size_t>(row)].entry);
    if (!entry) {
        return;
    }
    RenameDialog dialog(LangBase(), entry->kind, ToQString(entry->destinationName), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // A row whose kind is no valid kind keeps its digit unless the operator picks a kind.
    int kind = dialog.Kind();
    if (kind < 0) {
        kind = entry->kind >= 0 ? entry->kind : kApplication;
    }
    if (config_.files.ChangeRow(row, kind, ToUtf8(dialog.Destination()))) {
        ShowFileRows();
    }
}

void MainWindow::AddFileRow(int kind, const std::string& source, const std::string& destination) {
    const AddRowResult result = config_.files.AddFileRow(kind, source, destination);
    if (result == AddRowResult::Added) {
        ShowFileRows();
        ShowSelectedRowPath();
        return;
    }
    const std::string message = AddRowMessage(LangBase(), result, source);
    if (!message.empty()) {
        ShowPrompt(this, PromptKind::Warning, ToQString(message));
    }
}

void MainWindow::AddFileFromDialog() {
    const QString picked =
        PickFileToOpen(this, OpenFileRequest{QString(), QDir::currentPath(),
                                             QStringLiteral("All Files(*.*) (*)"), QString()});
    if (!picked.isEmpty()) {
        const std::string path = ToUtf8(picked);
        const std::string name = ToUtf8(ToQString(FileNamePart(path)).trimmed());
        const std::string source =
            config_.settings.debugMode ? path : JoinPath(config_.baseDir, FileNamePart(path));
        AddFileRow(kApplication, source, name);
    }
    UpdateStartButton();
}

void MainWindow::DeleteSelectedRow() {
    const int row = config_.files.SelectedRow();
    if (row < 0) {
        ShowPlainMessage(QStringLiteral("Error"), UiText(LangBase(), kChooseRowId));
        return;
    }
    config_.files.DeleteRow(row);
    ShowFileRows();
}

void MainWindow::ClearFileList() {
    config_.files.Clear();
    ShowFileRows();
    EnableControls(true);
    UpdateStartButton();
}

}  // namespace termload
