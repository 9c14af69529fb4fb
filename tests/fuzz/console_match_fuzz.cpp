// Any text from a terminal, cut into any chunks: the receive text the console callback keeps stays
// within its bound and ends with the latest bytes, and every reply the exchanges wait for is
// complete exactly when the text is long enough and holds its keyword. The NAND-erase decision and
// the size commands hold against plain re-computations.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/boot_console.h"
#include "engine/port_slot_table.h"

namespace {

using namespace termload;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The keyword at some position of the text, compared byte by byte.
bool Holds(std::string_view text, std::string_view keyword) {
    if (keyword.size() > text.size()) {
        return false;
    }
    for (std::size_t at = 0; at + keyword.size() <= text.size(); ++at) {
        if (std::memcmp(text.data() + at, keyword.data(), keyword.size()) == 0) {
            return true;
        }
    }
    return false;
}

void CheckText(std::string_view text) {
    for (const ConsoleReply& reply : kConsoleReplies) {
        Check(ReplyComplete(text, reply) ==
              (text.size() > reply.minLength && Holds(text, reply.keyword)));
    }
    for (const bool kernelMode : {false, true}) {
        const NandEraseStep step = NandEraseNext(text, kernelMode);
        const bool longEnough = text.size() > 10;
        const bool region = kernelMode && longEnough && Holds(text, "region");
        const bool scanEnd = longEnough && Holds(text, "1f0:");
        Check(step == (region    ? NandEraseStep::ChooseRegion
                       : scanEnd ? NandEraseStep::QuitScan
                                 : NandEraseStep::Wait));
    }
}

void CheckSizeCommands(std::uint64_t size) {
    size &= (std::uint64_t{1} << 62) - 1;
    char hex[24];
    const auto end = std::to_chars(hex, hex + sizeof hex, size + 1024, 16).ptr;
    const std::string digits(hex, end);
    Check(NandWriteCommand(size) == "DownNand c008000 " + digits + "\r");
    Check(UpNandCommand(size) == "UpNand c000000 " + digits + "\r");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 8) {
        std::uint64_t imageSize = 0;
        std::memcpy(&imageSize, data, sizeof imageSize);
        CheckSizeCommands(imageSize);
    }
    // Each chunk: a length byte (255: larger than the whole text can hold), then its bytes.
    ReceiveText received;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t wanted = data[at] == 255 ? ReceiveText::kCapacity + 3 : data[at] + 1u;
        ++at;
        const std::size_t length = std::min(wanted, size - at);
        const auto* chunk = reinterpret_cast<const char*>(data + at);
        const std::string text = received.Append(chunk, length);
        at += length;
        Check(text.size() < ReceiveText::kCapacity);
        Check(text == received.Text());
        const std::string_view latest(chunk, length);
        const std::string_view kept =
            latest.substr(latest.size() - std::min(latest.size(), text.size()));
        Check(std::string_view(text).ends_with(kept));
        CheckText(text);
    }
    return 0;
}
