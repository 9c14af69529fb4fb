#include "config/model_rules.h"

#include <cctype>

namespace termload {

bool IsKernelModel(std::string_view modelText) {
    std::string upper(modelText);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper.find("KERNEL") != std::string::npos;
}

void ModelChanged(Configuration& config) {
    config.settings.kernelMode = IsKernelModel(ModelText(config.controls));
    if (config.settings.kernelMode) {
        config.controls.portMode = PortMode::Single;
    }
}

std::string SelectedModeCode(const Configuration& config) {
    const int index = config.controls.modelIndex;
    if (index < 0 || static_cast<std::size_t>(index) >= config.settings.modeCodes.size()) {
        return {};
    }
    return config.settings.modeCodes[static_cast<std::size_t>(index)];
}

}  // namespace termload
