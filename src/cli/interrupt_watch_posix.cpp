#include <pthread.h>

#include <csignal>

#include "cli/interrupt_watch.h"

namespace termload::cli {
namespace {

// SIGUSR2 is sent to the waiting thread only, to end it.
sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR2);
    return set;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void(int)> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    waiter_ = std::thread([this] { Run(); });
}

InterruptWatch::~InterruptWatch() {
    closing_ = true;
    pthread_kill(waiter_.native_handle(), SIGUSR2);
    waiter_.join();
}

void InterruptWatch::Run() {
    const sigset_t set = WatchedSignals();
    int count = 0;
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) {
            continue;
        }
        if (closing_) {
            return;
        }
        // A hang-up leaves no one to see the run: it stops as the operator's stop does, with
        // the report's lines and the summary.
        if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) {
            onInterrupt_(++count);
        }
    }
}

}  // namespace termload::cli
