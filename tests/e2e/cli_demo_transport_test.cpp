// termload-cli demo over the USB transports: the sample download into termsim's USB-HID device
// (the real hidapi through umockdev) and through its CCID reader (the real pcsc-lite client and a
// private pcscd), each verified file by file, and the refusal where the door cannot open.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli_e2e_support.h"
#include "support/process.h"

namespace termload::cli::test {
namespace {

using namespace std::chrono_literals;

void ExpectAllIdentical(const CliResult& result, const char* place) {
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("PASS: 5 of 5 files identical"), std::string::npos)
        << result.output;
    // The table names the door the terminal sat behind.
    EXPECT_NE(result.output.find("\n" + std::string(place) + "   "), std::string::npos)
        << result.output;
}

TEST(CliDemoTransport, UsbHidVerifiesEveryFileAndRefusesWithoutTheDevice) {
    ScratchDir dir("cli-demo-hid");
    ExpectAllIdentical(RunCli({"demo", "--transport", "hid", "--termsim", TermsimPath().string()},
                              dir.Path(), 120s),
                       "HID");

    // A termsim that cannot make the device says why; the demo passes it on with exit 2.
    const std::filesystem::path plain = dir.Path() / "termsim-without-umockdev";
    WriteFile(plain,
              "#!/bin/sh\necho 'termsim: this termsim was built without umockdev' >&2\nexit 1\n");
    ::chmod(plain.c_str(), 0755);
    const CliResult refused =
        RunCli({"demo", "--transport", "hid", "--termsim", plain.string()}, dir.Path());
    EXPECT_EQ(refused.exitCode, 2) << refused.output;
    EXPECT_NE(refused.output.find("could not open its HID door on this machine; it needs umockdev"),
              std::string::npos)
        << refused.output;
    EXPECT_NE(refused.output.find("built without umockdev"), std::string::npos) << refused.output;
    EXPECT_EQ(RunCli({"demo", "--transport", "hid", "--boot"}, dir.Path()).exitCode, 2);
}

TEST(CliDemoTransport, CcidVerifiesEveryFile) {
    ASSERT_TRUE(termload::test::PcscdInstalled());
    ScratchDir dir("cli-demo-ccid");
    ExpectAllIdentical(RunCli({"demo", "--transport", "ccid", "--termsim", TermsimPath().string()},
                              dir.Path(), 120s),
                       "CCID");
}

}  // namespace
}  // namespace termload::cli::test
