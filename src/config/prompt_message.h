// A message for the operator that a configuration operation hands to its host (window or CLI),
// which shows it in its message box of the given kind.
#pragma once

#include <string>

namespace termload {

enum class PromptKind { Error = 1, Warning = 2, Question = 3, Information = 4 };

struct PromptMessage {
    PromptKind kind = PromptKind::Information;
    std::string text;
};

}  // namespace termload
