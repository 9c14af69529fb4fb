#pragma once
// DIR/results.jsonl: one JSON object a line, flushed as each result happens, and the same events
// for a person on standard output unless quiet.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "sim_time.hpp"

namespace termsim {

enum class Verbosity { Quiet, Events, Progress };

class ResultsLog {
  public:
    // Throws std::runtime_error when the file cannot be created.
    ResultsLog(const std::filesystem::path& path, Verbosity verbosity, TimePoint start);

    // Adds "t" (seconds since start) and writes the line.
    void Record(nlohmann::json line, TimePoint now);
    // Progress lines go to the person only, and only in progress mode.
    void Progress(const std::string& text);
    Verbosity verbosity() const { return verbosity_; }

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    Verbosity verbosity_;
    TimePoint start_;
};

// The one-line text a person sees for a result line.
std::string HumanText(const nlohmann::json& line);

}  // namespace termsim
