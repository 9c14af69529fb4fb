#include "support/lrzsz.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace termload::test {

std::unique_ptr<Process> StartRb(const std::filesystem::path& line,
                                 const std::filesystem::path& into,
                                 const std::filesystem::path& log) {
    std::filesystem::create_directories(into);
    const int fd = ::open(line.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    auto rb = std::make_unique<Process>(std::vector<std::string>{"rb", "--ymodem", "-q"}, log, fd,
                                        std::map<std::string, std::string>{}, into);
    if (fd >= 0) {
        ::close(fd);
    }
    return rb;
}

bool TakeFirstCall(const std::filesystem::path& line, std::chrono::milliseconds limit) {
    const int fd = ::open(line.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    pollfd p{fd, POLLIN, 0};
    char byte = 0;
    const bool got = ::poll(&p, 1, static_cast<int>(limit.count())) > 0 &&
                     ::read(fd, &byte, 1) == 1 && byte == 'C';
    ::close(fd);
    return got;
}

}  // namespace termload::test
