// The open-file dialogs of the window. Like the message boxes, they go through one hook so that
// tests can pick a file without a modal dialog.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace termload {

struct OpenFileRequest {
    QString title;
    QString directory;
    QString filter;        // "Description (*.ext)"
    QString proposedName;  // the name the dialog offers first; may be empty
};

// Returns the chosen existing file, or an empty text when the operator cancels.
using OpenFileHook = std::function<QString(const OpenFileRequest&)>;

// An empty hook restores the real dialog.
void SetOpenFileHook(OpenFileHook hook);

QString PickFileToOpen(QWidget* owner, const OpenFileRequest& request);

}  // namespace termload
