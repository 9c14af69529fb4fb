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
#include "config/user_store.h"

namespace termload::cli {
namespace {

using namespace std::chrono_literals;

// termsim's file is a few lines; anything larger is not its.
constexpr std::streamsize kEnvFileLimit = 64 * 1024;
constexpr auto kSettleLimit = 5s;
constexpr auto kCheckInterval = 50ms;

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

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<EnvLines> WaitForSimulatorEnvironment(ChildProcess& simulator,
                                                    const std::filesystem::path& portMap,
                                                    const std::filesystem::path& envFile,
                                                    const std::vector<const char*>& names,
                                                    std::chrono::seconds limit,
                                                    RunEvents& events) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline && !events.Interrupted()) {
        if (!ReadPortsSection(portMap).empty()) {
            EnvLines env = ReadEnvFile(envFile);
            bool complete = true;
            for (const char* name : names) {
                complete = complete && env.count(name) != 0;
            }
            if (complete) {
                return env;
            }
        }
        if (simulator.WaitForExit(kCheckInterval)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

int SettleAndPrintVerification(ChildProcess& simulator, int runExit,
                               const std::function<std::vector<VerifyRow>()>& verify) {
    const auto deadline = std::chrono::steady_clock::now() + kSettleLimit;
    auto rows = verify();
    while (!AllIdentical(rows) && std::chrono::steady_clock::now() < deadline &&
           !simulator.WaitForExit(kCheckInterval)) {
        rows = verify();
    }
    simulator.Stop();
    std::printf("\n");
    for (const std::string& line : VerifyTable(rows)) {
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    return AllIdentical(rows) && runExit == kExitAllOk ? kExitAllOk : kExitFailed;
}

}  // namespace termload::cli
