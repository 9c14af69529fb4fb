#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cli/report_file.h"
#include "config/paths.h"

namespace termload::cli {

namespace {

std::runtime_error CannotWrite(const std::filesystem::path& path, const std::string& reason) {
    return std::runtime_error("cannot write the report " + PathToUtf8(path) + ": " + reason);
}

}  // namespace

ReportFile::ReportFile(const std::filesystem::path& path) {
    // O_NONBLOCK: a FIFO without a reader fails the open instead of holding it for ever.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw CannotWrite(path, errno == ENXIO ? "it is no regular file" : std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw CannotWrite(path, "it is no regular file");
    }
    ::fcntl(fd, F_SETFL, O_APPEND);
    handle_ = fd;
}

ReportFile::~ReportFile() {
    ::close(static_cast<int>(handle_));
}

std::string ReportFile::AppendWhole(std::string_view line) {
    const int fd = static_cast<int>(handle_);
    const off_t before = ::lseek(fd, 0, SEEK_END);
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::string reason = n < 0 ? std::strerror(errno) : "nothing written";
            if (written > 0 && before >= 0) {
                ::ftruncate(fd, before);  // the part that went in comes out again
            }
            return reason;
        }
        written += static_cast<std::size_t>(n);
    }
    return {};
}

}  // namespace termload::cli
