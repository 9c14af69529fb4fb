// Local version files of any content: each record is one line's fields, and version numbers stay
// three decimal digits.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/version_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace termload;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const VersionList local = ParseLocalVersions(text);
    std::size_t lines = 1;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    if (local.size() > lines) {
        std::abort();
    }
    for (const VersionRecord& record : local) {
        if (record.type < 0 || record.keep != 1 ||
            record.name.find_first_of(";\n") != std::string::npos ||
            record.version.find('\n') != std::string::npos || record.version.size() > size) {
            std::abort();
        }
        if (const auto number = VersionNumber(record.version); number && *number > 999) {
            std::abort();
        }
    }
    // A terminal that holds exactly the local versions: the first record of each type with a
    // number is then up to date.
    VersionList compared = local;
    CompareVersions(local, compared);
    for (std::size_t i = 0; i < local.size(); ++i) {
        const bool firstOfType =
            std::none_of(local.begin(), local.begin() + static_cast<std::ptrdiff_t>(i),
                         [&](const VersionRecord& r) { return r.type == local[i].type; });
        if (firstOfType && VersionNumber(local[i].version) && compared[i].keep != 0) {
            std::abort();
        }
    }
    return 0;
}
