#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>

namespace termload {

// A source file opened for reading by a download thread. Reads are positioned, so a block can be
// read again after a short read without tracking the stream position.
class SourceFile {
  public:
    SourceFile() = default;
    explicit SourceFile(const std::filesystem::path& path);

    bool IsOpen() const { return file_ != nullptr; }
    void Close() { file_.reset(); }

    // Length of the file in bytes as it is now, or -1 when it cannot be determined.
    std::int64_t Size();

    // Reads up to buffer.size() bytes at offset; returns the number of bytes read (0 at or past
    // the end of the file and on errors).
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer);

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace termload
