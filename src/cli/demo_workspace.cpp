#include "cli/demo_workspace.h"

#include "config/address_file.h"
#include "config/paths.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace termload::cli {
namespace {

// Names from the M868 memory map, so the address file carries real addresses; one is larger
// than 1 MiB, one is the application that gets an "App=" line.
// The parameter file's source has a Chinese name, as on a Chinese bench: it must be found on
// every system and still reach the terminal under its own name.
struct SampleDefinition {
    const char* name;    // on the terminal
    const char* source;  // on the PC, UTF-8
    int kind;            // application 1, other file 2
    std::uint64_t size;
};
constexpr SampleDefinition kSamples[] = {
    {"telpay.bin", "telpay.bin", 1, 122000},
    {"dispziku.bin", "dispziku.bin", 2, 1100000},
    {"logo0.bmp", "logo0.bmp", 2, 3000},
    {"paramcfg.ini", "\xe5\x8f\x82\xe6\x95\xb0\xe9\x85\x8d\xe7\xbd\xae.ini", 2,
     0},  // 参数配置.ini, text
};

constexpr const char* kParamText =
    "[Terminal]\r\nMerchant=Demo Store\r\nCurrency=EUR\r\nReceiptCopies=2\r\n";

// Pacing as a production line would set it for USB serial adapters, kept short after each file
// so that nine terminals finish well within a minute.
constexpr const char* kConfigHead =
    "; Sample configuration written by termload-cli demo.\n"
    "[ModeList]\n"
    "0A=M868\n"
    "\n"
    "[Config]\n"
    "Language=1\n"
    "MachMode=0\n"
    "HardVersion=10\n"
    "Port=0\n"
    "PortNum=0\n"
    "BuardRate=12\n"
    "DataBit=0\n"
    "StopBit=0\n"
    "ParityBit=0\n"
    "FlowCtrl=0\n"
    "NewMachine=1\n"
    "DownTimer=0\n";
// After the piece delay, which the transport decides.
constexpr const char* kConfigTail =
    "S4KDelay=1\n"
    "FILE_INTERVAL=10\n"
    "FILE_INTERVAL_=80\n"
    "CMDDelay=1000\n"
    "EmptyFlash=0\n"
    "DegugMode=0\n"
    "TraceLog=0\n"
    "\n"
    "[AddrCtlol]\n"
    "IsUseLogalAddr=0\n"
    "\n"
    "[History]\n";

// Deterministic bytes that do not repeat within a block, so a misplaced block shows.
void WriteSampleBytes(const std::filesystem::path& path, std::uint64_t size, std::uint32_t seed) {
    std::ofstream out(path, std::ios::binary);
    std::uint32_t state = seed * 2654435761u + 1;
    std::string chunk;
    chunk.reserve(65536);
    for (std::uint64_t written = 0; written < size;) {
        chunk.clear();
        for (; chunk.size() < 65536 && written + chunk.size() < size;) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            chunk.push_back(static_cast<char>(state & 0xFF));
        }
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        written += chunk.size();
    }
    if (!out) {
        throw std::runtime_error("cannot write " + PathToUtf8(path));
    }
}

}  // namespace

ScratchDir::ScratchDir(const std::string& prefix) {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    // A directory that did not exist before is ours alone: create_directory tells.
    std::random_device seed;
    std::mt19937_64 random(static_cast<std::uint64_t>(seed()) << 32 | seed());
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + "-";
        for (int i = 0; i < 8; ++i) {
            name += kLetters[random() % (sizeof kLetters - 1)];
        }
        std::error_code error;
        if (std::filesystem::create_directory(base / name, error)) {
            path_ = base / name;
            std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
            return;
        }
        if (error) {
            break;
        }
    }
    throw std::runtime_error("cannot create a directory in " + PathToUtf8(base));
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

DemoWorkspace::DemoWorkspace(int usbDelayMs) : root_("termload-demo") {
    std::filesystem::create_directory(ReceivedDir());

    std::string history;
    int row = 0;
    for (const SampleDefinition& sample : kSamples) {
        SampleFile file{sample.name, Root() / PathFromUtf8(sample.source), sample.size};
        if (sample.size == 0) {
            std::ofstream(file.source, std::ios::binary) << kParamText;
            file.size = std::char_traits<char>::length(kParamText);
        } else {
            WriteSampleBytes(file.source, sample.size, static_cast<std::uint32_t>(row + 1));
        }
        history += "Recent" + std::to_string(row) + "=" + std::to_string(sample.kind) + ";" +
                   sample.source + ";" + sample.name + "\n";
        files_.push_back(std::move(file));
        ++row;
    }
    std::ofstream config(ConfigPath(), std::ios::binary);
    config << kConfigHead << "USBDelay=" << usbDelayMs << "\n"
           << kConfigTail << "RecentCount=" << files_.size() << "\n"
           << history;
    if (!config) {
        throw std::runtime_error("cannot write " + PathToUtf8(ConfigPath()));
    }
}

std::vector<ExpectedFile> DemoWorkspace::ExpectedFiles() const {
    std::vector<std::string> destinations;
    for (const SampleFile& file : files_) {
        destinations.push_back(file.destination);
    }
    std::vector<ExpectedFile> expected;
    expected.push_back({std::string(kAddressFileName),
                        BuildAddressText(AddressFileNames(destinations), 0, UserAddressTable{})});
    for (const SampleFile& file : files_) {
        std::ifstream in(file.source, std::ios::binary);
        expected.push_back({file.destination, std::string(std::istreambuf_iterator<char>(in),
                                                          std::istreambuf_iterator<char>())});
    }
    return expected;
}

}  // namespace termload::cli
