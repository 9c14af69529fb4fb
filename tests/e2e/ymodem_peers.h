// The peers of the YMODEM sender's end-to-end tests and benchmark: termsim (terminals or the
// paced relay) and lrzsz, as child processes that are always ended and reaped.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace termload::ymodem_peers {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A child process run in `cwd` with stdin and stdout on `io` (or /dev/null and `log`) and stderr
// in `log`. Killed and reaped when the object goes.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const fs::path& log, int io = -1,
          const fs::path& cwd = {}) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) {
                ::_exit(126);
            }
            const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            const int in = io >= 0 ? io : ::open("/dev/null", O_RDONLY);
            const int out = io >= 0 ? io : err;
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            std::vector<char*> args;
            for (const std::string& arg : argv) {
                args.push_back(const_cast<char*>(arg.c_str()));
            }
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The exit status (128 + signal when killed), or nothing while it runs after `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (std::chrono::steady_clock::now() >= end) {
                break;
            } else {
                std::this_thread::sleep_for(5ms);
            }
        }
        return status_;
    }
    void Kill() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            status_ = 128 + SIGKILL;
        }
    }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// True when `program` is on the PATH.
inline bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// termsim started in `dir` with `args`, waited for until its port map names `ports` ports.
class Termsim {
  public:
    Termsim(const fs::path& termsim, const fs::path& dir, std::vector<std::string> args, int ports)
        : dir_(dir) {
        fs::remove_all(dir / "ports");
        fs::remove(dir / "ports.ini");
        args.insert(args.begin(), {termsim.string(), "--dir", dir.string(), "--quiet"});
        child_.emplace(args, dir / "termsim.log");
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < end) {
            std::ifstream map(dir / "ports.ini");
            const std::string text((std::istreambuf_iterator<char>(map)), {});
            if (text.find("COM" + std::to_string(ports) + "=") != std::string::npos) {
                ready_ = true;
                return;
            }
            std::this_thread::sleep_for(5ms);
        }
    }
    bool Ready() const { return ready_; }
    fs::path Map() const { return dir_ / "ports.ini"; }
    fs::path Link(int port) const { return dir_ / "ports" / ("COM" + std::to_string(port)); }
    void Kill() { child_->Kill(); }

  private:
    fs::path dir_;
    std::optional<Child> child_;
    bool ready_ = false;
};

// lrzsz's receiver on `line` (a path), storing into `into`.
inline std::unique_ptr<Child> StartRb(const fs::path& line, const fs::path& into,
                                      const fs::path& log) {
    fs::create_directories(into);
    const int fd = ::open(line.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    auto rb =
        std::make_unique<Child>(std::vector<std::string>{"rb", "--ymodem", "-q"}, log, fd, into);
    if (fd >= 0) {
        ::close(fd);
    }
    return rb;
}

// rb discards its input right after its very first "C" (and only then; the "C"s it repeats on
// time-outs are not followed by a discard), so a quick header can be lost, and a header is never
// resent on a "C". Reads that first "C" off `line` so that a sender started next answers the
// second one. False when none came in `limit`.
inline bool TakeFirstCall(const fs::path& line, std::chrono::milliseconds limit) {
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

}  // namespace termload::ymodem_peers
