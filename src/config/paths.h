// Paths as the configuration holds them, and the places the program keeps its own files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace termload {

// The text after the last '/', '\\' or ':', so that paths written on Windows still work.
std::string FileNamePart(std::string_view path);

// The text before the last '/', '\\' or ':', without separators at its end ("/" for a file in
// the root); empty when there is none.
std::string DirectoryPart(std::string_view path);

// `dir`, the platform's separator, `name` (no separator doubled when `dir` already ends in one);
// `name` alone when `dir` is empty.
std::string JoinPath(std::string_view dir, std::string_view name);

// A path from a configuration as the platform understands it: backslashes become '/' on POSIX.
std::string NativePath(std::string_view path);

// Directory of the running executable.
std::filesystem::path ExecutableDir();

// Where the program keeps files "beside the executable": the executable's directory when it is
// writable (a portable install), else UserStoreDir().
std::filesystem::path ApplicationDir();

// $XDG_CONFIG_HOME/termload, or $HOME/.config/termload when XDG_CONFIG_HOME is unset or empty.
std::filesystem::path UserStoreDir();

// UserStoreDir()/termload.ini.
std::filesystem::path UserStorePath();

}  // namespace termload
