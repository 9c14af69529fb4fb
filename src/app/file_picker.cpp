#include "app/file_picker.h"

#include <QDir>
#include <QFileDialog>
#include <utility>

namespace termload {
namespace {

OpenFileHook& Hook() {
    static OpenFileHook hook;
    return hook;
}

}  // namespace

void SetOpenFileHook(OpenFileHook hook) {
    Hook() = std::move(hook);
}

QString PickFileToOpen(QWidget* owner, const OpenFileRequest& request) {
    if (Hook()) {
        return Hook()(request);
    }
    QFileDialog dialog(owner, request.title, request.directory, request.filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!request.proposedName.isEmpty()) {
        dialog.selectFile(request.proposedName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace termload
