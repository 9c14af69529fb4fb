#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace termload::test {

Process::Process(const std::vector<std::string>& argv, const std::filesystem::path& log, int io,
                 const std::map<std::string, std::string>& env, const std::filesystem::path& cwd) {
    if (io >= 0) {
        ::fcntl(io, F_SETFD, FD_CLOEXEC);  // only this child gets it, as 0 and 1
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) {
            ::_exit(126);
        }
        const int out = io >= 0 ? io : ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int in = io >= 0 ? io : ::open("/dev/null", O_RDONLY);
        const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (const auto& [name, value] : env) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (pid_ < 0) {
        ADD_FAILURE() << "fork failed for " << argv.at(0);
    }
}

Process::~Process() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::optional<int> Process::Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (pid_ > 0 && !exited_) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (std::chrono::steady_clock::now() >= end) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return status_;
}

std::optional<int> Process::Terminate(std::chrono::milliseconds limit) {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGTERM);
    }
    return Wait(limit);
}

std::chrono::milliseconds Process::CpuTime() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stol(field);
        }
    }
    return std::chrono::milliseconds(ticks * 1000 / ::sysconf(_SC_CLK_TCK));
}

std::size_t OpenDescriptorCount() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

::testing::AssertionResult Installed(const std::string& program, const std::string& package) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && ::access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << program << " is missing: install the Debian package "
                                         << package << " (scripts/setup.sh)";
}

::testing::AssertionResult PcscdInstalled() {
    if (::access("/usr/sbin/pcscd", X_OK) == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "pcscd is not installed: the CCID tests need the "
                                            "package pcscd (scripts/setup.sh installs it)";
}

}  // namespace termload::test
