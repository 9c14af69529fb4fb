// Paths on POSIX: file names are bytes, taken as UTF-8 as they stand.
#include <cstdlib>
#include <system_error>

#include <optional>

#include "config/paths.h"
#include "config/text_encoding.h"

namespace termload {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::string(utf8));
}

std::string PathToUtf8(const std::filesystem::path& path) {
    return path.string();
}

std::string NativePath(std::string_view path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
    return native;
}

std::filesystem::path SourcePathOnDisk(std::string_view utf8) {
    const std::string native = NativePath(utf8);
    std::filesystem::path path(native);
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        return path;
    }
    const std::optional<std::string> gbkName = Utf8ToGbkExact(FileNamePart(native));
    if (!gbkName || *gbkName == FileNamePart(native)) {
        return path;
    }
    std::filesystem::path gbkPath = path.parent_path() / *gbkName;
    return std::filesystem::exists(gbkPath, ec) ? gbkPath : path;
}

std::filesystem::path ExecutableDir() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error);
    }
    return exe.parent_path();
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

}  // namespace termload
