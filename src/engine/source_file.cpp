#include "engine/source_file.h"

#include "config/file_system.h"

namespace termload {

SourceFile::SourceFile(const std::filesystem::path& path) {
    // A directory opens for reading on POSIX but cannot be read: refuse it here.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return;
    }
    file_.reset(OpenFile(path, "rb"));
}

std::int64_t SourceFile::Size() {
    if (!file_ || std::fseek(file_.get(), 0, SEEK_END) != 0) {
        return -1;
    }
    const long size = std::ftell(file_.get());
    return size < 0 ? -1 : static_cast<std::int64_t>(size);
}

std::size_t SourceFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    if (!file_ || offset > static_cast<std::uint64_t>(LONG_MAX) ||
        std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
        return 0;
    }
    const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), file_.get());
    std::clearerr(file_.get());
    return read;
}

}  // namespace termload
