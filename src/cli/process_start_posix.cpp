#include <csignal>

#include "cli/process_start.h"

namespace termload::cli {
namespace {

// Runs from the executable's pre-initialisation array: before the static initialisers of every
// library and of the program, so a Ctrl-C or SIGTERM from the first instant stays pending until
// the interrupt thread takes it, and ends the command as a stop. This object is linked in
// because main calls PrepareProcess().
void HoldSignalsFromTheStart(int, char**, char**) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
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
