// termload-cli versions against termsim: the request on a real pty, the terminal's reply read
// back, and the rows the read would leave out, with the window's texts.
#include <gtest/gtest.h>

#include "cli_e2e_support.h"
#include "support/termsim.h"

namespace termload::cli::test {
namespace {

TEST(CliVersions, AsksTheTerminalAndNamesTheRowsItAlreadyHoldsAsNew) {
    termload::test::ScratchDir dir("cli-versions");
    WriteFile(dir / "installed.txt", "0;B001\n1;C105\n-3;Z1\n");
    // termsim as it starts by default: its boot loader greets the opened port with a banner
    // while the tool waits for the reply, so both come in one read.
    termload::test::Termsim sim(dir / "sim", {"--versions", (dir / "installed.txt").string()});
    ASSERT_TRUE(sim.Started()) << sim.Log();
    WriteFile(dir / "local.ini", "0;boot;B002\r\n1;core;C105\n");
    std::string config = "[ModeList]\n05=M740-32\n[Config]\nLanguage=1\n[History]\nRecentCount=4\n";
    const char* names[] = {"boot.bin", "core.bin", "sdk.bin", "other.dat"};
    for (int i = 0; i < 4; ++i) {
        WriteFile(dir / names[i], "x");
        config += "Recent" + std::to_string(i) + "=1;" + names[i] + ";" + names[i] + "\n";
    }
    WriteFile(dir / "Config.ini", config);
    const std::vector<std::string> args = {"versions",
                                           "--config",
                                           (dir / "Config.ini").string(),
                                           "--local-versions",
                                           (dir / "local.ini").string(),
                                           "--ports-map"};

    std::vector<std::string> toSim = args;
    toSim.push_back(sim.Map().string());
    CliResult result = RunCli(toSim, dir.Path());
    EXPECT_EQ(result.exitCode, 0) << result.output;
    for (const char* line :
         {"terminal versions: 3\n  type 0  B001\n  type 1  C105\n  type -3  Z1\n",
          "  type 0  boot  B002  newer\n  type 1  core  C105  held\n",
          "rows:\n  load  boot.bin\n  skip  Source file: core.bin is too low\n"
          "  load  sdk.bin\n  skip  Source file: other.dat is too low\n"}) {
        EXPECT_NE(result.output.find(line), std::string::npos) << line << "\n---\n"
                                                               << result.output;
    }
    const auto asked = sim.AwaitResults("version", 1);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].value("request_ok", false)) << "the request, byte for byte";

    // --apply stores the decision: the configuration keeps no check marks, so the rows the read
    // unchecks leave the list and the rows after them move up; every other byte stays.
    const std::string head =
        "; bench 3\r\n[ModeList]\r\n05=M740-32\r\n[Config]\r\nLanguage=1\r\nCustom = kept\r\n"
        "[History]\r\n";
    std::string stored = head + "RecentCount = 4\r\n";
    std::string paths;
    for (int i = 0; i < 4; ++i) {
        // Keys as a hand may write them: any letter case, blanks around "=".
        stored += (i == 2 ? "recent2 = " : "Recent" + std::to_string(i) + "=") + "1;" + names[i] +
                  ";" + names[i] + "\r\n";
        paths += "Path" + std::to_string(i) + "=C:\\bench\\" + names[i] + "\r\n";
    }
    stored += "[Path]\r\n" + paths + "; last line\r\n";
    WriteFile(dir / "Apply.ini", stored);
    std::vector<std::string> apply = toSim;
    apply[2] = (dir / "Apply.ini").string();
    apply.push_back("--apply");
    result = RunCli(apply, dir.Path());
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("applied: 2 skipped rows removed from"), std::string::npos)
        << result.output;
    const std::string applied =
        head +
        "RecentCount = 2\r\nRecent0=1;boot.bin;boot.bin\r\n"
        "Recent1 = 1;sdk.bin;sdk.bin\r\n[Path]\r\nPath0=C:\\bench\\boot.bin\r\n"
        "Path1=C:\\bench\\sdk.bin\r\n; last line\r\n";
    EXPECT_EQ(ReadFile(dir / "Apply.ini"), applied);
    // Read again, the terminal unchanged: nothing left to skip, the file is not touched.
    result = RunCli(apply, dir.Path());
    EXPECT_NE(result.output.find("rows:\n  load  boot.bin\n  load  sdk.bin\napplied: 0"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(ReadFile(dir / "Apply.ini"), applied);

    // A device that is no serial port does not open: the window's red text, exit 1.
    WriteFile(dir / "ports.ini", "[Ports]\nCOM1=" + (dir / "plain-file").string() + "\n");
    WriteFile(dir / "plain-file", "");
    std::vector<std::string> toFile = args;
    toFile.push_back((dir / "ports.ini").string());
    result = RunCli(toFile, dir.Path());
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("[COM1]Port open failed"), std::string::npos) << result.output;
}

}  // namespace
}  // namespace termload::cli::test
