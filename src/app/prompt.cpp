#include "app/prompt.h"

#include <QMessageBox>
#include <utility>

namespace termload {
namespace {

PromptHook& Hook() {
    static PromptHook hook;
    return hook;
}

bool ShowMessageBox(const PromptRequest& request) {
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton accepting = QMessageBox::Ok;
    switch (request.kind) {
        case PromptKind::Error:
            icon = QMessageBox::Critical;
            break;
        case PromptKind::Warning:
            icon = QMessageBox::Warning;
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case PromptKind::Question:
            icon = QMessageBox::Question;
            buttons = QMessageBox::Yes | QMessageBox::No;
            accepting = QMessageBox::Yes;
            break;
        default:
            break;
    }
    QMessageBox box(icon, request.caption, request.text, buttons, request.owner);
    return box.exec() == accepting;
}

bool Show(const PromptRequest& request) {
    if (Hook()) {
        return Hook()(request);
    }
    return ShowMessageBox(request);
}

}  // namespace

void SetPromptHook(PromptHook hook) {
    Hook() = std::move(hook);
}

bool ShowPrompt(QWidget* owner, PromptKind kind, const QString& text) {
    return Show(
        PromptRequest{kind, QStringLiteral("Termload"), text + QStringLiteral("  "), owner});
}

void ShowPlainMessage(const QString& caption, const QString& text) {
    Show(PromptRequest{PromptKind::Information, caption, text, nullptr});
}

}  // namespace termload
