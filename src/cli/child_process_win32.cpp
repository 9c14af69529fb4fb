#include <stdexcept>
#include <system_error>

#include "cli/child_process.h"

namespace termload::cli {

bool ChildProcessesSupported() {
    return false;
}

bool IsRunnableProgram(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path&,
                           const Environment&) {
    throw std::runtime_error("cannot start " + (argv.empty() ? std::string("a program") : argv[0]) +
                             ": helper programs are not started on Windows");
}

ChildProcess::~ChildProcess() = default;

int ChildProcess::ExitCode() const {
    return -1;
}

bool ChildProcess::Running() {
    return false;
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds) {
    return true;
}

void ChildProcess::Stop(std::chrono::milliseconds) {}

bool ChildProcess::Reap(bool) {
    return true;
}

}  // namespace termload::cli
