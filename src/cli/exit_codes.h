// Exit codes of termload-cli; production scripts branch on them.
#pragma once

namespace termload::cli {

enum ExitCode : int {
    kExitAllOk = 0,      // every pass on every port complete, every file OK
    kExitFailed = 1,     // a file or a pass failed
    kExitUsage = 2,      // usage or configuration error; no port was touched
    kExitStopped = 130,  // the operator stopped before the passes were done
};

}  // namespace termload::cli
