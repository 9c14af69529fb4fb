// Kernel mode end to end: the real termload-cli, started with termsim's umockdev environment as on
// a bench, drives the simulated boot loader's console and writes through the real libusb into
// termsim's USB download device; termsim keeps what it solidified in NAND.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "e2e/cli_e2e_support.h"
#include "support/termsim.h"

namespace termload::cli::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The BIOS image the terminal solidified last (a terminal that starts over may count as a new
// unit), or nothing.
std::optional<std::string> SolidifiedBios(const fs::path& simDir) {
    std::optional<std::string> last;
    for (int unit = 1; unit <= 9; ++unit) {
        const fs::path path =
            simDir / "COM1" / ("unit-" + std::to_string(unit)) / "nand" / "region-0.bin";
        if (fs::exists(path)) {
            last = ReadFile(path);
        }
    }
    return last;
}

// A clean run, and one whose first image reaches the terminal with a bad sum: the terminal's
// "Checksum Error" on the console fails the download though the pipe took every byte, the
// operator is told, and the row is sent again after the boot loader is waited for anew (the
// operator restarts the terminal). Outside kernel mode the row reaches the boot console itself.
TEST(CliBoot, BiosRowIsSolidifiedByteForByteThroughTheUsbPipe) {
    const std::vector<std::pair<bool, std::string>> cases = {
        {false, "M740-KERNEL"}, {true, "M740-KERNEL"}, {false, "M740-32"}};
    for (const auto& [badSum, model] : cases) {
        SCOPED_TRACE(model + (badSum ? ", bad sum" : ", clean"));
        ScratchDir dir("cli-boot");
        // The banner comes after the tool's open has settled, as from a terminal switched on.
        termload::test::Termsim sim(
            dir.Path() / "sim", {"--usb", "--work-ms", "50", "--restart-ms", "500"}, 1,
            badSum ? std::vector<std::string>{"1:usbsum=1"} : std::vector<std::string>{});
        ASSERT_EQ(sim.Log().find("without umockdev"), std::string::npos)
            << termload::test::kUmockdevMissing;
        ASSERT_TRUE(sim.Started());
        const auto env = termload::test::ReadEnvFile(dir.Path() / "sim" / "env");
        ASSERT_EQ(env.count("LD_PRELOAD"), 1u) << termload::test::kUmockdevMissing;

        // 20000 + 10 bytes of image: two full chunks and a shorter one.
        const fs::path source = dir.Path() / "u-boot.bin";
        const std::string bytes = PatternBytes(20000, 9);
        WriteFile(source, bytes);
        std::ofstream(dir.Path() / "Config.ini", std::ios::binary)
            << "[ModeList]\n05=M740-32\n0B=M740-KERNEL\n\n[Config]\nLanguage=1\nHardVersion=10\n"
               "CMDDelay=100\nEmptyFlash=0\n\n[History]\nRecentCount=1\nRecent0=3;"
            << source.string() << ";u-boot.bin\n";

        const fs::path out = dir.Path() / "run.txt";
        termload::test::Process run(
            {CliPath().string(), "run", "--config", (dir.Path() / "Config.ini").string(),
             "--ports-map", sim.Map().string(), "--single", "1", "--model", model, "--passes", "1"},
            out, -1, env);
        // A pass that had to start over cannot vouch for the terminal: not all OK.
        EXPECT_EQ(run.Wait(120s), badSum ? 1 : 0) << ReadFile(out);
        const std::string output = ReadFile(out);
        EXPECT_NE(output.find("Download BIOS...OK"), std::string::npos) << output;
        EXPECT_EQ(output.find("DownLoad File failed Or Crc Error") != std::string::npos, badSum)
            << output;

        std::optional<std::string> solidified;
        EXPECT_TRUE(termload::test::WaitUntil(
            [&] { return (solidified = SolidifiedBios(dir.Path() / "sim")).has_value(); }, 10s))
            << sim.Log();
        EXPECT_TRUE(solidified == bytes);
    }
}

// Kernel mode with an ordinary file between two pipe rows: the boot loader waits at its prompt
// after the file's frames and sends no banner again, so the kernel row opens the console again and
// goes on at once; the user area, erased at the start of the pass, is not erased again.
TEST(CliBoot, PipeRowAfterAnOrdinaryFileGoesOnWithoutANewBanner) {
    ScratchDir dir("cli-boot-mixed");
    termload::test::Termsim sim(dir.Path() / "sim", {"--usb", "--work-ms", "50"}, 1);
    ASSERT_TRUE(sim.Started()) << sim.Log();
    const auto env = termload::test::ReadEnvFile(dir.Path() / "sim" / "env");
    ASSERT_EQ(env.count("LD_PRELOAD"), 1u) << termload::test::kUmockdevMissing;

    const std::string bios = PatternBytes(20000, 9);
    const std::string app = PatternBytes(5000, 4);
    const std::string kernel = PatternBytes(30000, 5);
    WriteFile(dir.Path() / "u-boot.bin", bios);
    WriteFile(dir.Path() / "app.bin", app);
    WriteFile(dir.Path() / "zImage", kernel);
    std::ofstream(dir.Path() / "Config.ini", std::ios::binary)
        << "[ModeList]\n0B=M740-KERNEL\n\n[Config]\nLanguage=1\nHardVersion=10\nCMDDelay=100\n"
           "EmptyFlash=1\nUSBDelay=1\nS4KDelay=1\nFILE_INTERVAL=1\nFILE_INTERVAL_=1\n\n"
           "[History]\nRecentCount=3\nRecent0=3;u-boot.bin;u-boot.bin\nRecent1=1;app.bin;app.bin\n"
           "Recent2=4;zImage;zImage\n";

    const fs::path out = dir.Path() / "run.txt";
    termload::test::Process run(
        {CliPath().string(), "run", "--config", (dir.Path() / "Config.ini").string(), "--ports-map",
         sim.Map().string(), "--single", "1", "--passes", "1"},
        out, -1, env);
    EXPECT_EQ(run.Wait(90s), 0) << ReadFile(out);
    const std::string output = ReadFile(out);
    EXPECT_NE(output.find("download kernel...OK"), std::string::npos) << output;

    const fs::path unit = dir.Path() / "sim" / "COM1" / "unit-1";
    EXPECT_TRUE(
        termload::test::WaitUntil([&] { return fs::exists(unit / "nand" / "region-1.bin"); }, 10s))
        << sim.Log();
    EXPECT_TRUE(ReadFile(unit / "nand" / "region-0.bin") == bios);
    EXPECT_TRUE(ReadFile(unit / "app.bin") == app);
    EXPECT_TRUE(ReadFile(unit / "nand" / "region-1.bin") == kernel);
    sim.Stop();
    int userAreaErased = 0;
    for (const auto& line : sim.Results("console")) {
        userAreaErased +=
            line.value("what", "") == "erase" && line.value("detail", "") == "region 3";
    }
    EXPECT_EQ(userAreaErased, 1);
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
