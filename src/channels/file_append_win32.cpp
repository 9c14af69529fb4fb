// The wide-character open: the narrow one reads names in the ANSI code page.
#include <stdio.h>

#include "channels/file_append.h"

namespace termload {

std::FILE* OpenForAppending(const std::filesystem::path& path) {
    return _wfopen(path.c_str(), L"a+b");
}

}  // namespace termload
