#include <windows.h>

#include <mutex>

#include "cli/interrupt_watch.h"

namespace termload::cli {
namespace {

// The system ends a process this long after a close event; the stop path gets all but a margin.
constexpr DWORD kCloseGraceMs = 4500;

// The handler has no context argument: the one watch of the process is reached through these.
std::mutex watchMutex;
std::function<void(int)>* activeCallback = nullptr;
int interruptCount = 0;
HANDLE watchEnded = nullptr;  // manual-reset event, set when the watch goes

BOOL WINAPI OnConsoleEvent(DWORD event) {
    HANDLE ended = nullptr;
    {
        std::lock_guard lock(watchMutex);
        if (activeCallback == nullptr) {
            return FALSE;  // the system's default: end the process
        }
        (*activeCallback)(++interruptCount);
        ended = watchEnded;
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning would end the process at once: let the stop path run first.
        WaitForSingleObject(ended, kCloseGraceMs);
    }
    return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void(int)> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    std::lock_guard lock(watchMutex);
    activeCallback = &onInterrupt_;
    interruptCount = 0;
    if (watchEnded == nullptr) {
        // Never closed: a handler thread may still wait on it while the process ends.
        watchEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    } else {
        ResetEvent(watchEnded);
    }
    // A process started in a new process group has Ctrl-C switched off: switch it on again.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    std::lock_guard lock(watchMutex);
    activeCallback = nullptr;
    SetEvent(watchEnded);
}

void InterruptWatch::Run() {}

}  // namespace termload::cli
