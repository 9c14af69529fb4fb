#include "cli_e2e_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace termload::cli::test {

Pty::Pty() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = ttyname(slave_);
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
}

Pty::~Pty() {
    close(slave_);
    close(master_);
}

std::string Pty::ReadMaster(std::size_t count, std::chrono::milliseconds timeout) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watch{master_, POLLIN, 0};
        if (left.count() <= 0 || poll(&watch, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t got = read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

std::filesystem::path CliPath() {
    return TERMLOAD_CLI_PATH;
}
std::filesystem::path TermsimPath() {
    return TERMLOAD_TERMSIM_PATH;
}

std::unique_ptr<ChildProcess> StartCli(const std::vector<std::string>& args,
                                       const std::filesystem::path& dir) {
    std::vector<std::string> argv{CliPath().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(argv, dir / "cli-output.txt");
}

int ExitCodeOf(const ChildProcess& child) {
    const int status = child.RawStatus();
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& dir,
                 std::chrono::milliseconds limit) {
    auto child = StartCli(args, dir);
    CliResult result;
    if (child->WaitForExit(limit)) {
        result.exitCode = ExitCodeOf(*child);
    } else {
        child->Stop(std::chrono::milliseconds(500));
    }
    result.output = ReadFile(dir / "cli-output.txt");
    return result;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace termload::cli::test
