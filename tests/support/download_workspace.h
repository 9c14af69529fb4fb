// What the download tests share, on a scripted link or a pseudo-terminal: a scratch workspace that
// builds configurations, and the frames a file must arrive in.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/settings.h"
#include "engine/start_check.h"
#include "support/files.h"
#include "support/recording_host.h"

namespace termload::download_test {

using namespace std::chrono_literals;

using test::RecordingHost;
using test::StatusEntry;

// A scratch directory with source files, and a configuration for them: one model "M740-32" with
// mode code 05, hardware version "10", single port COM1, no pauses, scaled protocol times.
class Workspace {
  public:
    Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::filesystem::path& Dir() const { return dir_.Path(); }
    // Writes a source file of PatternBytes(size, seed) and adds a checked row for it.
    void AddFile(const std::string& name, std::size_t size, unsigned seed,
                 const std::string& destination = {});

    Configuration config;
    StartOptions options;

  private:
    test::ScratchDir dir_{"termload-dl"};
};

using test::PatternBytes;

// For EXPECT_TRUE: equal bytes, or their sizes and first difference (too many bytes to print).
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);

// termsim's result lines of one event; with a `key`, those where it is `value`.
std::vector<nlohmann::json> Events(const std::vector<nlohmann::json>& results,
                                   const std::string& event, const std::string& key = {},
                                   const std::string& value = {});

// Every frame of a file, assembled here field by field as the terminal reads them (mode code 05,
// hardware version 10): full frames with a 51-byte name, or compact ones with 15.
std::string ExpectedFrames(bool full, int fileCount, const std::string& name,
                           const std::string& content);

}  // namespace termload::download_test
