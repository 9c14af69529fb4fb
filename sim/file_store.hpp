#pragma once
// Where a terminal keeps what it received: DIR/COMn/unit-K/<name>. Names come from the wire and
// are made safe first, so that nothing lands outside the unit's directory.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "unique_fd.hpp"

namespace termsim {

// A relative path below the unit's directory: "/" and "\\" separate directories, empty, "." and
// ".." parts are dropped, control bytes and ':' become '_', and an empty result is "unnamed".
// With keepDirectories false only the last part is kept.
std::filesystem::path SanitiseName(std::string_view name, bool keepDirectories);

// A file written under a temporary name and renamed into place only when it is committed. The
// temporary name is made exclusively in the same directory, so it never replaces a file stored
// before (a terminal may well be sent "x.part" and then "x").
class StoredFile {
  public:
    StoredFile(std::filesystem::path finalPath);
    ~StoredFile();
    StoredFile(const StoredFile&) = delete;
    StoredFile& operator=(const StoredFile&) = delete;

    bool Write(std::span<const uint8_t> bytes);
    // Renames into place; false (and nothing left behind) when any write or the rename failed.
    bool Commit();
    const std::filesystem::path& path() const { return finalPath_; }
    const std::string& error() const { return error_; }

  private:
    void Discard();

    std::filesystem::path finalPath_;
    std::filesystem::path partPath_;  // empty until created
    UniqueFd fd_;
    std::string error_;
};

// Writes a whole file at once, through StoredFile.
bool StoreWholeFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                    std::string& error);

}  // namespace termsim
