// What the selected model decides: kernel mode and the mode code its frames carry.
#pragma once

#include <string>
#include <string_view>

#include "config/settings.h"

namespace termload {

// A model name containing "KERNEL" in any letter case selects kernel mode.
bool IsKernelModel(std::string_view modelText);

// The model selection changed: sets kernelMode; kernel mode forces single-port mode.
void ModelChanged(Configuration& config);

// The mode code of the selected model; empty without a selection.
std::string SelectedModeCode(const Configuration& config);

}  // namespace termload
