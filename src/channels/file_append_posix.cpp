#include "channels/file_append.h"

namespace termload {

std::FILE* OpenForAppending(const std::filesystem::path& path) {
    return std::fopen(path.c_str(), "a+b");
}

}  // namespace termload
