// Paths as the configuration holds them, and the places the program keeps its own files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace termload {

// A UTF-8 text as a path, and a path as UTF-8 text. Every conversion between the two goes through
// these: on Windows a narrow string would otherwise be read in the ANSI code page.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// The text after the last '/', '\\' or ':', so that paths written on Windows still work.
std::string FileNamePart(std::string_view path);

// The text before the last '/', '\\' or ':', without separators at its end ("/" for a file in
// the root); empty when there is none.
std::string DirectoryPart(std::string_view path);

// `dir`, the platform's separator, `name` (no separator doubled when `dir` already ends in one);
// `name` alone when `dir` is empty.
std::string JoinPath(std::string_view dir, std::string_view name);

// A path from a configuration as the platform understands it: backslashes become '/' on POSIX;
// Windows takes both separators and keeps the text as it is.
std::string NativePath(std::string_view path);

// The file a source path of the file list names, as the system opens it. POSIX: file names
// are bytes; a file copied from Windows may keep its name's GBK bytes, so when no file has the
// UTF-8 name, one whose name is that name in GBK is taken. Windows: PathFromUtf8(NativePath()).
std::filesystem::path SourcePathOnDisk(std::string_view utf8);

// Directory of the running executable.
std::filesystem::path ExecutableDir();

// True for an executable in an installed tree (<prefix>/bin: /usr/bin, /usr/local/bin, a
// package unpacked elsewhere). Such a program never writes beside itself, even as root.
bool IsInstalledProgramDir(const std::filesystem::path& exeDir);

// Where the program keeps files "beside the executable": the executable's directory when it is
// writable and not an installed tree (a build tree or a portable copy), else UserStoreDir().
std::filesystem::path ApplicationDirFor(const std::filesystem::path& exeDir);
// ApplicationDirFor(ExecutableDir()).
std::filesystem::path ApplicationDir();

// Where LOG.txt goes: the current directory, except for an installed program, whose log goes
// to UserStoreDir() (a desktop start has no meaningful current directory, often / or $HOME).
std::filesystem::path TraceLogDir();

// $XDG_CONFIG_HOME/termload, or $HOME/.config/termload when XDG_CONFIG_HOME is unset or empty;
// on Windows %APPDATA%\termload.
std::filesystem::path UserStoreDir();

// UserStoreDir()/termload.ini.
std::filesystem::path UserStorePath();

}  // namespace termload
