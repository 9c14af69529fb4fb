#include "cli/demo_env_run.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "cli/child_process.h"
#include "cli/exit_codes.h"

namespace termload::cli {
namespace {

using namespace std::chrono_literals;

// termsim's file is a few lines; anything larger is not its.
constexpr std::streamsize kEnvFileLimit = 64 * 1024;

}  // namespace

EnvLines ReadEnvFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(kEnvFileLimit), '\0');
    in.read(text.data(), kEnvFileLimit);
    text.resize(static_cast<std::size_t>(in.gcount()));
    EnvLines env;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos && equals > 0) {
            env[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return env;
}

int RunWithEnvironment(const EnvLines& env, const std::vector<std::string>& argv,
                       const std::filesystem::path& log, RunEvents& events) {
    std::optional<ChildProcess> run;
    try {
        run.emplace(argv, log, ChildProcess::Environment(env.begin(), env.end()));
    } catch (...) {
        throw std::runtime_error("cannot start " + argv.front());
    }
    // The run's lines are shown as they come.
    std::ifstream output;
    const auto echo = [&] {
        if (!output.is_open()) {
            output.open(log, std::ios::binary);
        }
        output.clear();
        char buffer[4096];
        while (output.read(buffer, sizeof buffer) || output.gcount() > 0) {
            std::fwrite(buffer, 1, static_cast<std::size_t>(output.gcount()), stdout);
        }
        std::fflush(stdout);
    };
    while (!run->WaitForExit(100ms)) {
        echo();
        if (events.Interrupted()) {
            run->Stop();
            echo();
            return kExitStopped;
        }
    }
    echo();
    const int code = run->ExitCode();
    return code >= 0 ? code : kExitFailed;
}

std::filesystem::path ThisProgram() {
    return std::filesystem::read_symlink("/proc/self/exe");
}

}  // namespace termload::cli
