#include "engine/model_class.h"

#include "config/text_encoding.h"

namespace termload {

int ModelClass(std::string_view modelName) {
    if (modelName == "M862PA" || modelName == "M862PB" || modelName == "M862PC" ||
        modelName == "M862PCX") {
        return kModelClassM862;
    }
    return modelName == "M868" ? kModelClassM868 : kModelClassOther;
}

bool ModelNameFits(std::string_view modelName) {
    // The field holds the name as the terminals' tool stores it, in GBK.
    return Utf8ToGbk(modelName).size() < kModelNameFieldSize;
}

}  // namespace termload
