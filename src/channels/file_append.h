#pragma once

#include <cstdio>
#include <filesystem>

namespace termload {

// Opens `path` for appending bytes as they are (binary: Windows' text mode would add a CR to
// every line end), creating it when missing; null with errno set on failure. The path's own
// form is used, so names in any script open on every platform.
std::FILE* OpenForAppending(const std::filesystem::path& path);

}  // namespace termload
