#include "channels/usb_image.h"

namespace termload {

namespace {

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

}  // namespace

std::uint16_t UsbImageSum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t byte : bytes) {
        sum += byte;
    }
    return static_cast<std::uint16_t>(sum);
}

std::optional<std::vector<std::uint8_t>> BuildUsbImage(std::uint32_t loadAddress,
                                                       std::span<const std::uint8_t> file) {
    if (file.size() > kUsbImageMaxFileBytes) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> image;
    image.reserve(file.size() + kUsbImageOverhead);
    PutLe32(image, loadAddress);
    PutLe32(image, static_cast<std::uint32_t>(file.size() + kUsbImageOverhead));
    image.insert(image.end(), file.begin(), file.end());
    const std::uint16_t sum = UsbImageSum(file);
    image.push_back(static_cast<std::uint8_t>(sum));
    image.push_back(static_cast<std::uint8_t>(sum >> 8));
    return image;
}

}  // namespace termload
