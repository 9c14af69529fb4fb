// Kernel mode end to end: the real termload-cli, started with termsim's umockdev environment as on
// a bench, drives the simulated boot loader's console and writes through the real libusb into
// termsim's USB download device; termsim keeps what it solidified in NAND.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "e2e/cli_e2e_support.h"
#include "support/termsim.h"

namespace termload::cli::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kMissing =
    "umockdev is missing: install the Debian packages umockdev and libumockdev-dev "
    "(scripts/setup.sh) and build again";

std::map<std::string, std::string> EnvOf(const fs::path& file) {
    std::map<std::string, std::string> env;
    std::istringstream lines(ReadFile(file));
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) {
            env[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return env;
}

TEST(CliBoot, BiosRowIsSolidifiedByteForByteThroughTheUsbPipe) {
    ScratchDir dir("cli-boot");
    termload::test::Termsim sim(dir.Path() / "sim",
                                {"--usb", "--boot-ms", "50", "--work-ms", "50"});
    ASSERT_EQ(sim.Log().find("without umockdev"), std::string::npos) << kMissing;
    ASSERT_TRUE(sim.Started());
    const auto env = EnvOf(dir.Path() / "sim" / "env");
    ASSERT_EQ(env.count("LD_PRELOAD"), 1u) << kMissing;

    // Three chunks and a piece: 20000 + 10 bytes of image.
    const fs::path source = dir.Path() / "u-boot.bin";
    const std::string bytes = PatternBytes(20000, 9);
    WriteFile(source, bytes);
    std::ofstream(dir.Path() / "Config.ini", std::ios::binary)
        << "[ModeList]\n0B=M740-KERNEL\n\n[Config]\nLanguage=1\nHardVersion=10\nCMDDelay=100\n"
           "EmptyFlash=0\n\n[History]\nRecentCount=1\nRecent0=3;"
        << source.string() << ";u-boot.bin\n";

    const fs::path out = dir.Path() / "run.txt";
    termload::test::Process run(
        {CliPath().string(), "run", "--config", (dir.Path() / "Config.ini").string(), "--ports-map",
         sim.Map().string(), "--single", "1", "--model", "M740-KERNEL", "--passes", "1"},
        out, -1, env);
    EXPECT_EQ(run.Wait(120s), 0) << ReadFile(out);
    const std::string output = ReadFile(out);
    EXPECT_NE(output.find("Download BIOS...OK"), std::string::npos) << output;
    EXPECT_EQ(output.find("DownLoad File failed"), std::string::npos) << output;

    const fs::path solidified = dir.Path() / "sim" / "COM1" / "unit-1" / "nand" / "region-0.bin";
    ASSERT_TRUE(termload::test::WaitUntil([&] { return fs::exists(solidified); }, 10s))
        << sim.Log();
    EXPECT_EQ(ReadFile(solidified), bytes);
}

TEST(CliBoot, DemoVerifiesEverySolidifiedImageAndTheKernelInRam) {
    ScratchDir dir("cli-boot-demo");
    const CliResult result =
        RunCli({"demo", "--boot", "--termsim", TermsimPath().string()}, dir.Path(), 300s);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("PASS: 4 of 4 files identical"), std::string::npos)
        << result.output;
}

}  // namespace
}  // namespace termload::cli::test
