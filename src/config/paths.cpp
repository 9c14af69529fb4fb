#include "config/paths.h"

#include <system_error>

#include "config/file_system.h"

namespace termload {

namespace {

constexpr std::string_view kSeparators = "/\\:";

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
        joined += NativeSeparator();
    }
    joined += name;
    return joined;
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

std::filesystem::path UserStorePath() {
    return UserStoreDir() / "termload.ini";
}

}  // namespace termload
