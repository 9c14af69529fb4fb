#include "cli/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <stdexcept>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace termload::cli {
namespace {

// posix_spawn's attribute and file-action objects, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::filesystem::path& logPath) {
    if (argv.empty()) {
        throw std::runtime_error("no program to start");
    }
    SpawnSetup setup;
    // Our own threads block SIGINT and SIGTERM; the child starts with a clean mask and defaults.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setflags(
        &setup.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&setup.actions, STDOUT_FILENO, STDERR_FILENO);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const int error =
        posix_spawn(&pid_, args[0], &setup.actions, &setup.attributes, args.data(), environ);
    if (error != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
    }
    // Linux 5.3 and later; without it WaitForExit cannot wait with a time-out.
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
    Stop();
    if (pidFd_ >= 0) {
        close(pidFd_);
    }
}

bool ChildProcess::Reap(bool block) {
    if (status_ != -1) {
        return true;
    }
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid_) {
        status_ = status;
        return true;
    }
    if (result < 0) {  // not our child any more: nothing left to wait for
        status_ = 0;
        return true;
    }
    return false;
}

int ChildProcess::ExitCode() const {
    return status_ != -1 && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

bool ChildProcess::Running() {
    return !Reap(false);
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (Reap(false)) {
        return true;
    }
    if (pidFd_ < 0) {
        // Without a process descriptor the only bounded wait is to give up at once.
        return false;
    }
    pollfd watch{pidFd_, POLLIN, 0};
    int ready;
    do {
        ready = poll(&watch, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && Reap(true);
}

void ChildProcess::Stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0 || Reap(false)) {
        return;
    }
    kill(-pid_, SIGTERM);
    if (!WaitForExit(grace)) {
        kill(-pid_, SIGKILL);
        Reap(true);
    }
}

}  // namespace termload::cli
