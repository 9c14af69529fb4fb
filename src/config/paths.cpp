#include "config/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace termload {

namespace {

constexpr std::string_view kSeparators = "/\\:";

#ifdef _WIN32
constexpr char kNativeSeparator = '\\';
#else
constexpr char kNativeSeparator = '/';
#endif

bool IsWritableDirectory(const std::filesystem::path& dir) {
    std::error_code error;
    return std::filesystem::is_directory(dir, error) && ::access(dir.c_str(), W_OK) == 0;
}

}  // namespace

std::string FileNamePart(std::string_view path) {
    const std::size_t last = path.find_last_of(kSeparators);
    return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string DirectoryPart(std::string_view path) {
    const std::size_t last = path.find_last_of(kSeparators);
    if (last == std::string_view::npos) {
        return {};
    }
    // Separators doubled before the name belong to no directory name; the root keeps its own.
    std::string_view dir = path.substr(0, last);
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) {
        dir.remove_suffix(1);
    }
    if (dir.empty() && path[last] != ':') {
        return std::string(1, path[last]);
    }
    return std::string(dir);
}

std::string JoinPath(std::string_view dir, std::string_view name) {
    if (dir.empty()) {
        return std::string(name);
    }
    std::string joined(dir);
    // A drive letter's ':' ends no directory name here: "C:" joins as "C:/name".
    if (joined.back() != '/' && joined.back() != '\\') {
        joined += kNativeSeparator;
    }
    joined += name;
    return joined;
}

std::string NativePath(std::string_view path) {
    std::string native(path);
#ifndef _WIN32
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
#endif
    return native;
}

std::filesystem::path ExecutableDir() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error);
    }
    return exe.parent_path();
}

bool IsInstalledProgramDir(const std::filesystem::path& exeDir) {
    const std::filesystem::path dir = exeDir.lexically_normal();
    // "/usr/bin/" normalises to "/usr/bin/" with an empty file name: look at the last element.
    const std::filesystem::path last =
        dir.has_filename() ? dir.filename() : dir.parent_path().filename();
    return last == "bin";
}

std::filesystem::path ApplicationDirFor(const std::filesystem::path& exeDir) {
    return !IsInstalledProgramDir(exeDir) && IsWritableDirectory(exeDir) ? exeDir : UserStoreDir();
}

std::filesystem::path ApplicationDir() {
    return ApplicationDirFor(ExecutableDir());
}

std::filesystem::path TraceLogDir() {
    if (IsInstalledProgramDir(ExecutableDir())) {
        return UserStoreDir();
    }
    std::error_code error;
    std::filesystem::path dir = std::filesystem::current_path(error);
    return error ? std::filesystem::path() : dir;
}

std::filesystem::path UserStoreDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg != '\0') {
        return std::filesystem::path(xdg) / "termload";
    }
    const char* home = std::getenv("HOME");
    const std::filesystem::path base = home != nullptr && *home != '\0' ? home : ".";
    return base / ".config" / "termload";
}

std::filesystem::path UserStorePath() {
    return UserStoreDir() / "termload.ini";
}

}  // namespace termload
