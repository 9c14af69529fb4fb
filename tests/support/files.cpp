#include "support/files.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

namespace termload::test {

ScratchDir::ScratchDir(const std::string& prefix) {
    // A name nobody else holds: create_directory reports false for one that exists.
    std::random_device entropy;
    const std::filesystem::path base(::testing::TempDir());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = base / (prefix + "-" + std::to_string(entropy()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = std::move(candidate);
            return;
        }
    }
    ADD_FAILURE() << "cannot create a scratch directory under " << base;
}

ScratchDir::ScratchDir(const std::string& prefix, bool keepOnFailure)
    : ScratchDir(keepOnFailure ? prefix + "-" +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name()
                               : prefix) {
    keepOnFailure_ = keepOnFailure;
}

ScratchDir::~ScratchDir() {
    if (keepOnFailure_ && ::testing::Test::HasFailure()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchDir::Write(const std::string& name, std::string_view content) const {
    const std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    WriteFile(file, content);
    return file;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string PatternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = 0x9E3779B9u * (seed + 1);
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::vector<nlohmann::json> JsonLines(const std::string& text, const std::string& event) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            continue;
        }
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (json.is_discarded()) {
            ADD_FAILURE() << "not a JSON line: " << line;
        } else if (event.empty() || (json.is_object() && json.value("event", "") == event)) {
            lines.push_back(std::move(json));
        }
    }
    return lines;
}

}  // namespace termload::test
