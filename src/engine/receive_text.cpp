#include "engine/receive_text.h"

#include <cstring>

namespace termload {

std::string ReceiveText::Append(const char* bytes, std::size_t count) {
    std::lock_guard lock(mutex_);
    constexpr std::size_t kLimit = kCapacity - 1;  // room for the terminating zero
    if (count > kLimit) {
        // A chunk larger than the whole text: only its end can be kept.
        bytes += count - kLimit;
        count = kLimit;
        length_ = 0;
    }
    if (length_ + count > kHalvingThreshold) {
        const std::size_t keep = length_ / 2;
        std::memmove(text_.data(), text_.data() + length_ - keep, keep);
        length_ = keep;
    }
    if (length_ + count > kLimit) {
        // Only chunks above the halving threshold get here: drop what does not fit, oldest first.
        const std::size_t drop = length_ + count - kLimit;
        std::memmove(text_.data(), text_.data() + drop, length_ - drop);
        length_ -= drop;
    }
    std::memcpy(text_.data() + length_, bytes, count);
    length_ += count;
    text_[length_] = '\0';
    return std::string(text_.data(), length_);
}

void ReceiveText::Clear() {
    std::lock_guard lock(mutex_);
    text_.fill('\0');
    length_ = 0;
}

std::string ReceiveText::Text() const {
    std::lock_guard lock(mutex_);
    return std::string(text_.data(), length_);
}

std::size_t ReceiveText::Length() const {
    std::lock_guard lock(mutex_);
    return length_;
}

}  // namespace termload
