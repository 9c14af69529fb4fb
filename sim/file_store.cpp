#include "file_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace termsim {

namespace {

constexpr size_t kMaxPart = 200;  // bytes of one path part, well inside NAME_MAX with suffixes

std::string CleanPart(std::string_view part) {
    std::string clean(part.substr(0, kMaxPart));
    for (char& c : clean) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == ':') {
            c = '_';
        }
    }
    return clean;
}

}  // namespace

std::filesystem::path SanitiseName(std::string_view name, bool keepDirectories) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        const std::string_view part = name.substr(start, end - start);
        if (!part.empty() && part != "." && part != "..") {
            parts.push_back(CleanPart(part));
        }
        start = end + 1;
    }
    if (parts.empty()) {
        return "unnamed";
    }
    if (!keepDirectories) {
        return parts.back();
    }
    std::filesystem::path path;
    for (const std::string& part : parts) {
        path /= part;
    }
    return path;
}

StoredFile::StoredFile(std::filesystem::path finalPath) : finalPath_(std::move(finalPath)) {
    std::error_code ec;
    std::filesystem::create_directories(finalPath_.parent_path(), ec);
    if (ec) {
        error_ = "cannot create " + finalPath_.parent_path().string() + ": " + ec.message();
        return;
    }
    std::string name = (finalPath_.parent_path() / ".receiving-XXXXXX").string();
    fd_.Reset(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd_) {
        error_ = "cannot create a file in " + finalPath_.parent_path().string() + ": " +
                 std::strerror(errno);
        return;
    }
    ::fchmod(fd_.get(), 0644);
    partPath_ = name;
}

StoredFile::~StoredFile() {
    if (fd_) {
        Discard();
    }
}

bool StoredFile::Write(std::span<const uint8_t> bytes) {
    while (fd_ && error_.empty() && !bytes.empty()) {
        const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error_ = "cannot write " + partPath_.string() + ": " + std::strerror(errno);
            break;
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return error_.empty();
}

bool StoredFile::Commit() {
    if (!fd_ || !error_.empty()) {
        Discard();
        return false;
    }
    fd_.Reset();
    std::error_code ec;
    std::filesystem::rename(partPath_, finalPath_, ec);
    if (ec) {
        error_ = "cannot rename to " + finalPath_.string() + ": " + ec.message();
        std::filesystem::remove(partPath_, ec);
        return false;
    }
    return true;
}

void StoredFile::Discard() {
    fd_.Reset();
    if (!partPath_.empty()) {
        std::error_code ec;
        std::filesystem::remove(partPath_, ec);
    }
}

bool StoreWholeFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                    std::string& error) {
    StoredFile file(path);
    const bool ok = file.Write(bytes) && file.Commit();
    error = file.error();
    return ok;
}

}  // namespace termsim
