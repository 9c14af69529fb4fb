#include "engine/source_file.h"

namespace termload {

std::FILE* OpenForReading(const std::filesystem::path& path) {
    return std::fopen(path.c_str(), "rbe");  // "e": not inherited by child processes
}

}  // namespace termload
