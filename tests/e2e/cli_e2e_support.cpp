#include "cli_e2e_support.h"

#include <sys/wait.h>

namespace termload::cli::test {

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

}  // namespace termload::cli::test
