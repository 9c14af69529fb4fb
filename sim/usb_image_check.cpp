#include "usb_image_check.hpp"

#include <algorithm>
#include <cstdio>

namespace termsim {

namespace {

constexpr size_t kHeader = 8;
constexpr size_t kOverhead = 10;

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

}  // namespace

std::vector<UsbImage> UsbImageAssembler::Feed(std::span<const uint8_t> bytes) {
    std::vector<UsbImage> done;
    while (!bytes.empty() && !refusing_) {
        if (!current_) {
            const size_t take = std::min(bytes.size(), kHeader - header_.size());
            header_.insert(header_.end(), bytes.begin(), bytes.begin() + take);
            bytes = bytes.subspan(take);
            if (header_.size() < kHeader) {
                break;
            }
            UsbImage image;
            image.address = Le32(header_.data());
            image.length = Le32(header_.data() + 4);
            const uint64_t end = static_cast<uint64_t>(image.address) + image.length;
            if (image.length < kOverhead || image.length > kUsbRamEnd - kUsbRamStart) {
                image.problem = "length " + std::to_string(image.length) + " out of range";
            } else if (image.address < kUsbRamStart || end > kUsbRamEnd) {
                image.problem = "load address " + Hex(image.address) + " outside RAM";
            }
            if (!image.problem.empty()) {
                // Without a usable length the end of the image cannot be found: it is bad now,
                // and what follows is ignored until the host starts over.
                refusing_ = true;
                header_.clear();
                done.push_back(std::move(image));
                break;
            }
            current_ = std::move(image);
            body_.reserve(current_->length - kHeader);
        }
        const size_t want = current_->length - kHeader - body_.size();
        const size_t take = std::min(bytes.size(), want);
        body_.insert(body_.end(), bytes.begin(), bytes.begin() + take);
        bytes = bytes.subspan(take);
        if (body_.size() < current_->length - kHeader) {
            break;
        }
        UsbImage image = std::move(*current_);
        current_.reset();
        const size_t size = body_.size() - 2;
        image.sumGiven = static_cast<uint16_t>(body_[size] | body_[size + 1] << 8);
        uint32_t sum = 0;
        for (size_t i = 0; i < size; ++i) {
            sum += body_[i];
        }
        image.sumComputed = static_cast<uint16_t>(sum);
        body_.resize(size);
        image.data = std::move(body_);
        body_ = {};
        header_.clear();
        if (image.sumGiven != image.sumComputed) {
            image.problem = "sum " + Hex(image.sumGiven) + ", computed " + Hex(image.sumComputed);
        }
        done.push_back(std::move(image));
    }
    return done;
}

std::optional<UsbImage> UsbImageAssembler::Reset() {
    std::optional<UsbImage> cut;
    if (current_) {
        cut = std::move(*current_);
        cut->cutOff = true;
        cut->problem = "cut off after " + std::to_string(kHeader + body_.size()) + " of " +
                       std::to_string(cut->length) + " bytes";
        const size_t dataBytes =
            std::min(body_.size(), static_cast<size_t>(cut->length) - kOverhead);
        cut->data.assign(body_.begin(), body_.begin() + static_cast<std::ptrdiff_t>(dataBytes));
    } else if (!header_.empty()) {
        cut = UsbImage{};
        cut->cutOff = true;
        cut->problem = "cut off in the header";
    }
    current_.reset();
    header_.clear();
    body_ = {};
    refusing_ = false;
    return cut;
}

}  // namespace termsim
