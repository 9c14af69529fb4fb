// The few file-system calls whose form differs between POSIX and Windows.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string_view>

namespace termload {

// std::fopen through the system's own path form (a narrow name would be read in Windows' ANSI
// code page and lose Chinese names); `mode` as for fopen. Not inherited by child processes.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// The native path separator.
char NativeSeparator();

// A directory that exists and that we may create files in.
bool IsWritableDirectory(const std::filesystem::path& dir);

// Read-only as the operator sees it: missing, marked read-only (no write permission for the
// owner on POSIX, the read-only attribute on Windows), or not writable for us.
bool IsReadOnlyFile(const std::filesystem::path& path);

// Writes `bytes` to a new file beside `target`, forces it to the disk and puts it in the
// target's place in one step, so a crash or a full disk leaves either the old or the new file
// whole. Keeps the target's permissions. False (and the target untouched) on any failure.
bool ReplaceFileWith(const std::filesystem::path& target, std::string_view bytes);

// Rewrites an existing file in place and forces it to the disk: for a file in a directory we
// may not create files in.
bool OverwriteFileWith(const std::filesystem::path& target, std::string_view bytes);

}  // namespace termload
