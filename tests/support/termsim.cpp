#include "support/termsim.h"

#include <algorithm>
#include <sstream>
#include <thread>

#include "support/files.h"

namespace termload::test {

using namespace std::chrono_literals;

Termsim::Termsim(const std::filesystem::path& dir, std::vector<std::string> args, int ports,
                 const std::vector<std::string>& faults)
    : dir_(dir), map_(dir / "ports.ini") {
    for (const std::string& fault : faults) {
        args.insert(args.end(), {"--fault", fault});
    }
    std::filesystem::create_directories(dir_);
    if (const auto map = std::find(args.begin(), args.end(), "--map");
        map != args.end() && map + 1 != args.end()) {
        map_ = *(map + 1);
    }
    std::filesystem::remove(map_);  // an earlier termsim's map would be taken for this one's
    args.insert(args.begin(), {TERMLOAD_TERMSIM_PATH, "--dir", dir_.string()});
    const auto begin = std::chrono::steady_clock::now();
    process_ = std::make_unique<Process>(args, dir_ / "termsim.log");
    const std::string last = "COM" + std::to_string(ports) + "=";
    while (std::chrono::steady_clock::now() - begin < 20s) {
        if (ReadFile(map_).find(last) != std::string::npos) {
            started_ = true;
            startup_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - begin);
            return;
        }
        if (process_->Wait(5ms)) {
            break;
        }
    }
    ADD_FAILURE() << "termsim did not write its port map: " << Log();
}

Termsim::~Termsim() {
    Stop();
}

std::filesystem::path Termsim::Link(int port) const {
    return dir_ / "ports" / ("COM" + std::to_string(port));
}

std::string Termsim::Log() const {
    return ReadFile(dir_ / "termsim.log");
}

std::optional<int> Termsim::Stop(std::chrono::milliseconds limit) {
    return process_->Terminate(limit);
}

std::vector<nlohmann::json> Termsim::Results(const std::string& event) const {
    const std::string text = ReadFile(dir_ / "results.jsonl");
    return JsonLines(text.substr(0, text.rfind('\n') + 1), event);  // a line being written waits
}

std::vector<nlohmann::json> Termsim::AwaitResults(const std::string& event, std::size_t count,
                                                  std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    auto lines = Results(event);
    while (lines.size() < count && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
        lines = Results(event);
    }
    return lines;
}

std::map<std::string, std::string> ReadEnvFile(const std::filesystem::path& file) {
    std::map<std::string, std::string> env;
    std::istringstream lines(ReadFile(file));
    for (std::string line; std::getline(lines, line);) {
        if (const auto equals = line.find('='); equals != std::string::npos) {
            env[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return env;
}

}  // namespace termload::test
