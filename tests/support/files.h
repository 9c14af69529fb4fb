// Scratch directories, whole files, and test data.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace termload::test {

// A fresh directory under the test's temporary directory, removed with its contents at the end.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& prefix = "termload");
    // With `keepOnFailure`: named after the test too, and left in place when the test failed, for
    // a look at what it wrote.
    ScratchDir(const std::string& prefix, bool keepOnFailure);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
    // Writes `content` as file `name` (its directories made) and returns its path.
    std::filesystem::path Write(const std::string& name, std::string_view content) const;

  private:
    std::filesystem::path path_;
    bool keepOnFailure_ = false;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// The JSON lines of `text` (blank ones passed over), or those of one event; a line that is not
// JSON fails the test.
std::vector<nlohmann::json> JsonLines(const std::string& text, const std::string& event = {});

// `size` bytes of a fixed pseudo-random sequence chosen by `seed`: every byte value turns up.
std::string PatternBytes(std::size_t size, unsigned seed);

}  // namespace termload::test
