// The rules a model name follows: which family of terminals it names, and whether it fits the
// slot's model-name field.
#pragma once

#include <cstddef>
#include <string_view>

namespace termload {

// 0 for "M862PA", "M862PB", "M862PC" and "M862PCX"; 1 for "M868"; 2 for any other name. Exact,
// case-sensitive comparison.
inline constexpr int kModelClassM862 = 0;
inline constexpr int kModelClassM868 = 1;
inline constexpr int kModelClassOther = 2;
int ModelClass(std::string_view modelName);

// The slot's model-name field holds 30 bytes including a terminating zero, counted in GBK: a start
// with a longer model is refused.
inline constexpr std::size_t kModelNameFieldSize = 30;
bool ModelNameFits(std::string_view modelName);

}  // namespace termload
