#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "config/file_system.h"

namespace termload {

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }
    int Get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), (std::string(mode) + "e").c_str());
}

char NativeSeparator() {
    return '/';
}

bool IsWritableDirectory(const std::filesystem::path& dir) {
    std::error_code error;
    return std::filesystem::is_directory(dir, error) && ::access(dir.c_str(), W_OK) == 0;
}

// Checking the owner's bit matters when running as root, who may write anything.
bool IsReadOnlyFile(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return true;
    }
    return (status.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool ReplaceFileWith(const std::filesystem::path& target, std::string_view bytes) {
    struct stat status {};
    const mode_t mode = ::stat(target.c_str(), &status) == 0 ? status.st_mode & 07777 : 0644;
    std::string tempName =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor temp(::mkostemp(tempName.data(), O_CLOEXEC));
    if (temp.Get() < 0) {
        return false;
    }
    const bool written =
        WriteAll(temp.Get(), bytes) && ::fchmod(temp.Get(), mode) == 0 && ::fsync(temp.Get()) == 0;
    if (!temp.Close() || !written || ::rename(tempName.c_str(), target.c_str()) != 0) {
        ::unlink(tempName.c_str());
        return false;
    }
    return true;
}

bool OverwriteFileWith(const std::filesystem::path& target, std::string_view bytes) {
    FileDescriptor file(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    return file.Get() >= 0 && WriteAll(file.Get(), bytes) && ::fsync(file.Get()) == 0 &&
           file.Close();
}

}  // namespace termload
