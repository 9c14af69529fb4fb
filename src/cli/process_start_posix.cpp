#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "cli/process_start.h"

namespace termload::cli {
namespace {

// Runs from the executable's pre-initialisation array: before the static initialisers of every
// library and of the program, so a Ctrl-C or SIGTERM from the first instant stays pending until
// the interrupt thread takes it, and ends the command as a stop. A hang-up (the ssh session or
// the terminal window closed) stops the same way. This object is linked in
// because main calls PrepareProcess().
void HoldSignalsFromTheStart(int, char**, char**) {
    // A program started with stdin, stdout or stderr closed would hand that number to the next
    // file it opens: a serial port would get the status texts, the report the summary.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (opened != fd && opened >= 0) {
                ::close(opened);  // a lower number was free after all: never keep a second one
            }
        }
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A file size limit fails the report's write (which takes the cut line back) instead of
    // ending the download.
    std::signal(SIGXFSZ, SIG_IGN);
}

[[gnu::section(".preinit_array"),
  gnu::used]] void (*const holdSignals)(int, char**, char**) = HoldSignalsFromTheStart;

}  // namespace

void PrepareProcess() {
    // Everything is done before main; a program that never calls this loses the early hold.
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace termload::cli
