// Any reply bytes from a receiver: the sender ends (boundedly) with one of its results, writes only
// well-formed packets and control bytes, and announces every failure with two CAN bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/crc16.h"
#include "engine/ymodem_sender.h"
#include "support/scripted_ymodem_port.h"

namespace {

using namespace termload;

const std::vector<std::string>& SourceFiles() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> paths;
        const auto dir = std::filesystem::temp_directory_path() /
                         ("ymodem_replies_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        for (const std::size_t size : {0u, 100u, 1024u, 1500u, 2300u}) {
            const auto path = dir / ("f" + std::to_string(size));
            std::ofstream out(path, std::ios::binary);
            for (std::size_t i = 0; i < size; ++i) {
                out.put(static_cast<char>(i * 31 + 7));
            }
            paths.push_back(path.string());
        }
        paths.push_back((dir / "missing").string());
        return paths;
    }();
    return files;
}

bool WellFormed(const std::vector<std::uint8_t>& chunk) {
    if (chunk.size() == 1) {
        return chunk[0] == YModem::kEot || chunk[0] == YModem::kCan;
    }
    const std::size_t length = chunk.size() - 5;
    if ((length != 128 || chunk[0] != YModem::kSoh) &&
        (length != 1024 || chunk[0] != YModem::kStx)) {
        return false;
    }
    const std::uint16_t crc = Crc16Xmodem(chunk.data() + 3, length);
    return chunk[1] == static_cast<std::uint8_t>(255 - chunk[2]) && chunk[3 + length] == crc >> 8 &&
           chunk[4 + length] == (crc & 0xFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto& files = SourceFiles();
    const std::string& path = files[data[0] % files.size()];
    ScriptedYmodemPort port;
    // 0xF0 and 0xF1 stand for a read that times out and one that fails.
    for (std::size_t i = 1; i < size; ++i) {
        port.replies.push_back(data[i] == 0xF0   ? ScriptedYmodemPort::kSilence
                               : data[i] == 0xF1 ? ScriptedYmodemPort::kFailure
                                                 : data[i]);
    }
    YModem sender(port, 1, {});
    const YmodemResult result = sender.Transfer(path, 0);
    // Once the script is spent every read fails; no state waits more than 11 failed waits.
    if (static_cast<std::size_t>(port.reads) > size + 12 * 41) {
        std::abort();
    }
    if (result != YmodemResult::Sent && result != YmodemResult::MaxErrors &&
        result != YmodemResult::Timeout && result != YmodemResult::RemoteCancel) {
        std::abort();
    }
    for (const auto& chunk : port.written) {
        if (!WellFormed(chunk)) {
            std::abort();
        }
    }
    const auto& w = port.written;
    if (result != YmodemResult::Sent &&
        (w.size() < 2 || w.back() != std::vector<std::uint8_t>{YModem::kCan} ||
         w[w.size() - 2] != std::vector<std::uint8_t>{YModem::kCan})) {
        std::abort();
    }
    return 0;
}
