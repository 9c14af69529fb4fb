#include "engine/source_file.h"

namespace termload {

// The wide form: a narrow name would be read in the ANSI code page and lose Chinese names.
std::FILE* OpenForReading(const std::filesystem::path& path) {
    return _wfopen(path.c_str(), L"rb");
}

}  // namespace termload
