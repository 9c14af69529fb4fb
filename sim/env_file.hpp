#pragma once
// DIR/env: NAME=VALUE lines the tool's environment takes to reach termsim's doors (the private
// pcscd's socket, the USB testbed). Each door adds its lines through this one function, which
// keeps the lines of the others and replaces only its own names.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace termsim {

using EnvLines = std::vector<std::pair<std::string, std::string>>;

// Merges `lines` into the file (created if missing), written whole and renamed into place.
// Throws std::runtime_error when it cannot be written.
void AddEnvLines(const std::filesystem::path& file, const EnvLines& lines);

}  // namespace termsim
