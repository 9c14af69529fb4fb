#include "config/download_address.h"

namespace termload {

std::uint32_t ParseHexAddress(std::string_view text) {
    std::uint32_t sum = 0;
    std::uint32_t weight = 1;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const char c = *it;
        if (c == 'x' || c == 'X') {
            break;
        }
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else {
            continue;
        }
        sum += digit * weight;
        weight *= 16;
    }
    return sum;
}

}  // namespace termload
