#pragma once
// The boot loader's side of a USB download: the bytes arriving on its bulk OUT pipe make one
// image (load address, total length, file bytes, 16-bit sum; little-endian), checked before it
// may be solidified. Written from the terminal's side; it shares nothing with the tool.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace termsim {

// The terminal's RAM, where an image must fit whole.
inline constexpr uint32_t kUsbRamStart = 0x30000000;
inline constexpr uint32_t kUsbRamEnd = 0x34000000;  // 64 MiB

struct UsbImage {
    uint32_t address = 0;
    uint32_t length = 0;        // as the header gives it
    std::vector<uint8_t> data;  // the file's bytes
    uint16_t sumGiven = 0;
    uint16_t sumComputed = 0;
    std::string problem;  // empty for a good image
    bool cutOff = false;  // the host let go of the device before the image's end
};

class UsbImageAssembler {
  public:
    // Takes bytes as they arrive; returns every image they complete. After a header the
    // terminal cannot use (length or address), it takes and ignores everything until Reset.
    std::vector<UsbImage> Feed(std::span<const uint8_t> bytes);
    // The host let go of the device: an image under way is given back, cut off.
    std::optional<UsbImage> Reset();
    // Bytes of the image under way, header included.
    uint64_t bytesIn() const { return header_.size() + body_.size(); }

  private:
    std::vector<uint8_t> header_;
    std::vector<uint8_t> body_;  // file bytes and sum
    std::optional<UsbImage> current_;
    bool refusing_ = false;
};

}  // namespace termsim
