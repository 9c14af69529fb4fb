#include "app/termload_application.h"

#include <exception>

#include "app/prompt.h"

namespace termload {

TermloadApplication::TermloadApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Termload"));
    setApplicationDisplayName(QStringLiteral("Termload"));
}

bool TermloadApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowPrompt(nullptr, PromptKind::Error, QString::fromUtf8(error.what()));
    } catch (...) {
        ShowPrompt(nullptr, PromptKind::Error, QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace termload
