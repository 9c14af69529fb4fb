#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <string>

namespace termload {

// Console text received from the terminal since it was last cleared. Written by the port's reader
// thread, read and cleared by the download thread; guarded by its own lock.
class ReceiveText {
  public:
    static constexpr std::size_t kCapacity = 4096;
    // A chunk that would take the text past this many bytes first drops the older half of it.
    static constexpr std::size_t kHalvingThreshold = 2048;

    // Appends a chunk (older text is dropped as above; the text never exceeds kCapacity - 1
    // bytes, whatever the chunk's size) and returns the text as it now stands.
    std::string Append(const char* bytes, std::size_t count);
    void Clear();
    std::string Text() const;
    std::size_t Length() const;

  private:
    mutable std::mutex mutex_;
    std::array<char, kCapacity> text_{};
    std::size_t length_ = 0;
};

}  // namespace termload
