// Version replies of any content, alone or among other bytes: every record comes from bytes that
// were received, and the comparison and row decisions take whatever the parser gives.
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <span>
#include <vector>

#include "config/string_table.h"
#include "engine/version_read.h"

namespace {

using namespace termload;

// Checks one reply; the records' invariants hold whatever the bytes.
void Check(std::span<const std::uint8_t> reply) {
    const std::size_t size = reply.size();
    // The reply found lies within what was received and starts with the header.
    const std::span<const std::uint8_t> found = FindVersionReply(reply);
    if (!found.empty() && (found.size() < 9 || found.data() < reply.data() ||
                           found.data() + found.size() > reply.data() + size || found[0] != 0x01 ||
                           found[5] != 0xDC)) {
        std::abort();
    }
    const VersionList terminal = ParseVersionReply(reply);
    // 12 bytes before the items and the sum after them; each item is 2 bytes and its text.
    std::size_t itemBytes = 0;
    for (const VersionRecord& record : terminal) {
        if (record.version.size() > 127 || record.type < -128 || record.type > 127 ||
            !record.name.empty()) {
            std::abort();
        }
        itemBytes += 2 + record.version.size();
    }
    if (!terminal.empty() && 12 + itemBytes + 1 > size) {
        std::abort();
    }
    VersionList local = {{0, "boot", "B002", 1}, {1, "core", "C105", 1}, {-1, "x", "", 1}};
    CompareVersions(terminal, local);
    std::vector<FileRow> rows = {{"1;a;boot.bin", "", true}, {"1;b;core.bin", "", true}};
    if (DecideVersionRows(rows, local, kLangEnglish).size() != rows.size()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Check(std::span(data, size));
    // The same bytes behind a valid header and with a valid sum, so the items are reached.
    std::vector<std::uint8_t> sealed = {0x01, 0x01, 0x01, 0x01, 0x15, 0xDC};
    sealed.insert(sealed.end(), data, data + size);
    sealed.push_back(
        static_cast<std::uint8_t>(std::accumulate(sealed.begin() + 3, sealed.end(), 0u)));
    Check(sealed);
    // The same behind a greeting and followed by a prompt, as a boot loader's port gives it.
    std::vector<std::uint8_t> greeted = {'\r', '\n', 'O', 'K', '\r', '\n'};
    greeted.insert(greeted.end(), sealed.begin(), sealed.end());
    greeted.push_back('\\');
    greeted.push_back('>');
    Check(greeted);
    return 0;
}
