// Message boxes of the main window. Every box goes through one hook so that tests can answer
// boxes without running a modal loop.
#pragma once

#include <QString>
#include <functional>

#include "config/prompt_message.h"

class QWidget;

namespace termload {

// Kinds: error (OK), warning (OK/Cancel), question (Yes/No), information (OK).
struct PromptRequest {
    PromptKind kind = PromptKind::Information;
    QString caption;
    QString text;
    QWidget* owner = nullptr;  // null: the box has no owner window
};

// Returns true for OK or Yes.
using PromptHook = std::function<bool(const PromptRequest&)>;

// Replaces how boxes are shown; an empty hook restores the real message boxes.
void SetPromptHook(PromptHook hook);

// The main window's box: caption "Termload", the text followed by two blanks.
bool ShowPrompt(QWidget* owner, PromptKind kind, const QString& text);

// A box with its own caption and an information icon, owned by no window.
void ShowPlainMessage(const QString& caption, const QString& text);

}  // namespace termload
