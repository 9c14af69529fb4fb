// termload-cli versions against termsim: the request on a real pty, the terminal's reply read
// back, and the rows the read would leave out, with the window's texts.
#include <gtest/gtest.h>

#include <array>

#include "cli_e2e_support.h"
#include "config/ini_document.h"
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

    // The configuration is the recipe for every terminal of the line: the decision goes to a
    // new file, never into the configuration. The copy is written from the rows as the loading
    // took them (the rows' paths as they were looked up): the empty row it refused, and the rows
    // after it, stay, renumbered with their neighbours, so a run refuses the copy as it refuses
    // the configuration.
    const std::string head =
        "; bench 3\r\n[ModeList]\r\n05=M740-32\r\n[Config]\r\nLanguage=1\r\nCustom = kept\r\n"
        "[History]\r\n";
    const std::string stored =
        head +
        "RecentCount = 5\r\nRecent0=1;boot.bin;boot.bin\r\nrecent1 = 1;core.bin;core.bin\r\n"
        "Recent2=\r\nRecent3=1;sdk.bin;sdk.bin\r\nRecent4=1;other.dat;other.dat\r\n[Path]\r\n"
        "Path0=C:\\bench\\boot.bin\r\nPath1=C:\\bench\\core.bin\r\nPath3=C:\\bench\\sdk.bin\r\n"
        "Path4=C:\\bench\\other.dat\r\n; last line\r\n";
    WriteFile(dir / "Apply.ini", stored);
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink(dir / "Apply.ini", dir / "Linked.ini");
    std::filesystem::create_hard_link(dir / "Apply.ini", dir / "Hard.ini");
    std::vector<std::string> decide = toSim;
    decide[2] = (dir / "Apply.ini").string();
    const auto withOutput = [&](const std::filesystem::path& output) {
        std::vector<std::string> with = decide;
        with.insert(with.end(), {"--output", output.string()});
        return with;
    };
    const struct {
        std::vector<std::string> args;
        const char* text;
    } refused[] = {
        {[&] {
             std::vector<std::string> apply = decide;
             apply.push_back("--apply");
             return apply;
         }(),
         "--apply no longer changes the configuration"},
        {withOutput(dir / "Apply.ini"), "is the configuration itself"},
        {withOutput(dir / "Linked.ini"), "is the configuration itself"},
        {withOutput(dir / "Hard.ini"), "is the configuration itself"},
        {withOutput(dir / "sub" / ".." / "Apply.ini"), "is the configuration itself"},
        {withOutput(dir / "sub" / "Decided.ini"), "must lie in the configuration's directory"},
    };
    for (const auto& c : refused) {
        result = RunCli(c.args, dir.Path());
        EXPECT_EQ(result.exitCode, 2) << c.args.back();
        EXPECT_NE(result.output.find(c.text), std::string::npos) << result.output;
        EXPECT_EQ(ReadFile(dir / "Apply.ini"), stored) << c.args.back();
    }

    result = RunCli(withOutput(dir / "Decided.ini"), dir.Path());
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("rows:\n  load  boot.bin\n  skip  Source file: core.bin is too "
                                 "low\n  load  sdk.bin\n  skip  Source file: other.dat is too low\n"
                                 "written: "),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("Decided.ini without 2 skipped rows"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "Apply.ini"), stored);
    IniDocument decided;
    ASSERT_EQ(decided.Load(dir / "Decided.ini"), IniDocument::LoadStatus::Ok);
    for (const auto& [section, key, value] : std::initializer_list<std::array<std::string, 3>>{
             {"History", "RecentCount", "3"},
             {"History", "Recent0", "1;boot.bin;boot.bin"},
             {"History", "Recent1", ""},
             {"History", "Recent2", "1;sdk.bin;sdk.bin"},
             {"Path", "Path0", (dir / "boot.bin").string()},
             {"Path", "Path1", "(none)"},
             {"Path", "Path2", (dir / "sdk.bin").string()},
             {"Config", "Custom", "kept"}}) {
        EXPECT_EQ(decided.ReadString(section, key, "(none)"), value) << key;
    }
    const std::string decidedBytes = ReadFile(dir / "Decided.ini");
    EXPECT_TRUE(decidedBytes.starts_with("; bench 3\r\n")) << decidedBytes;
    EXPECT_TRUE(decidedBytes.ends_with("; last line\r\n")) << decidedBytes;

    // Read again from the copy, the terminal unchanged: nothing left to skip.
    decide[2] = (dir / "Decided.ini").string();
    result = RunCli(withOutput(dir / "Again.ini"), dir.Path());
    EXPECT_NE(result.output.find("rows:\n  load  boot.bin\n  load  sdk.bin\nwritten: "),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("without 0 skipped rows"), std::string::npos);

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
