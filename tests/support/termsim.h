// termsim run beside a test: started on a directory of its own, waited for until its port map is
// written, its results.jsonl read back.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/process.h"

namespace termload::test {

class Termsim {
  public:
    // Runs termsim with "--dir `dir`", `args` and a "--fault" for each of `faults`, and waits
    // (generously) until its port map names COM1 to COM`ports` (a map left by an earlier run is
    // removed first); a termsim that ends first or never writes it fails the test.
    Termsim(const std::filesystem::path& dir, std::vector<std::string> args, int ports = 1,
            const std::vector<std::string>& faults = {});
    // Ends termsim with SIGTERM (it writes its summary and removes its links), then kills it.
    ~Termsim();
    Termsim(const Termsim&) = delete;
    Termsim& operator=(const Termsim&) = delete;

    bool Started() const { return started_; }
    std::chrono::milliseconds Startup() const { return startup_; }
    const std::filesystem::path& Dir() const { return dir_; }
    // The port map: "--map" of the arguments, else ports.ini of the directory.
    const std::filesystem::path& Map() const { return map_; }
    // The link termsim keeps for a port, e.g. DIR/ports/COM3.
    std::filesystem::path Link(int port) const;
    Process& Program() { return *process_; }
    std::string Log() const;

    // SIGTERM and the exit status; nothing when it has not ended within `limit`.
    std::optional<int> Stop(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // The complete lines of results.jsonl, or those of one event. A line that is not JSON fails
    // the test; a last line still being written is left for the next read.
    std::vector<nlohmann::json> Results(const std::string& event = {}) const;
    // Waits (generously) until `count` lines of the event are in.
    std::vector<nlohmann::json> AwaitResults(
        const std::string& event, std::size_t count,
        std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

  private:
    std::filesystem::path dir_;
    std::filesystem::path map_;
    std::unique_ptr<Process> process_;
    bool started_ = false;
    std::chrono::milliseconds startup_{0};
};

// What a failed test says when termsim was built without umockdev (no --usb, no --hid).
inline constexpr const char* kUmockdevMissing =
    "umockdev is missing: install the Debian packages umockdev and libumockdev-dev "
    "(scripts/setup.sh) and build again";

// The NAME=VALUE lines termsim writes to DIR/env for the tool's environment (the umockdev testbed,
// the private pcscd's socket); lines without "=" are left out.
std::map<std::string, std::string> ReadEnvFile(const std::filesystem::path& file);

}  // namespace termload::test
