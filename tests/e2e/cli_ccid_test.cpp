// termload-cli over USB-CCID, the real binary through the real pcsc-lite client, a private pcscd
// and termsim's reader: the reader listed and probed, a run that ends after its one pass with the
// files stored byte for byte and the end-of-pass texts shown, and a reader name that is not there.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_e2e_support.h"
#include "support/termsim.h"

namespace termload::cli::test {
namespace {

using namespace std::chrono_literals;
using termload::test::JsonLines;

TEST(CliCcid, RunEndsAfterOnePassWithTheFilesStored) {
    ASSERT_TRUE(termload::test::PcscdInstalled());
    const ScratchDir dir("cli-ccid");
    const std::filesystem::path sim = dir.Path() / "sim";
    // Still writing at the first end-of-pass question.
    termload::test::Termsim terminal(
        sim, {"--ccid", "--quiet", "--ccid-fault", "busy=1", "--seconds", "300"});
    ASSERT_TRUE(terminal.Started()) << terminal.Log();
    std::istringstream env(ReadFile(sim / "env"));
    for (std::string line; std::getline(env, line);) {
        if (line.starts_with("PCSCLITE_CSOCK_NAME=")) {
            ::setenv("PCSCLITE_CSOCK_NAME", line.substr(20).c_str(), 1);  // the CLI inherits it
        }
    }
    ASSERT_NE(::getenv("PCSCLITE_CSOCK_NAME"), nullptr) << ReadFile(sim / "env");

    const CliResult listed = RunCli({"ccid"}, dir.Path());
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_NE(listed.output.find("Termsim CCID Terminal"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find(": ready"), std::string::npos) << listed.output;
    const CliResult unknown = RunCli({"ccid", "--reader", "no such reader"}, dir.Path());
    EXPECT_EQ(unknown.exitCode, 2) << unknown.output;

    const std::string fileA = PatternBytes(5000, 1);
    const std::string fileB = PatternBytes(9000, 2);
    WriteFile(dir.Path() / "a.bin", fileA);
    WriteFile(dir.Path() / "b.dat", fileB);
    const std::filesystem::path config = dir.Path() / "Config.ini";
    WriteFile(config,
              "[ModeList]\n05=M740-32\n[Config]\nLanguage=1\nMachMode=0\nUSBDelay=1\n"
              "S4KDelay=1\nFILE_INTERVAL=1\nFILE_INTERVAL_=1\n[History]\nRecentCount=2\n"
              "Recent0=1;a.bin;a.bin\nRecent1=1;b.dat;b.dat\n");
    // One pass is all a USB-CCID run makes: more is refused before the reader is touched.
    const CliResult twice =
        RunCli({"run", "--config", config.string(), "--ports-map", terminal.Map().string(),
                "--transport", "ccid", "--passes", "2"},
               dir.Path());
    EXPECT_EQ(twice.exitCode, 2) << twice.output;
    const std::filesystem::path report = dir.Path() / "report.jsonl";
    // No pass limit: the run ends by itself after its one pass.
    const CliResult run =
        RunCli({"run", "--config", config.string(), "--ports-map", terminal.Map().string(),
                "--transport", "ccid", "--json", "--report", report.string()},
               dir.Path(), 120s);
    ASSERT_EQ(run.exitCode, 0) << run.output;

    std::vector<std::string> texts;
    for (const auto& event : JsonLines(run.output, "status")) {
        texts.push_back(event["text"]);
    }
    const auto shown = [&](const std::string& tail) {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string& text) { return text.ends_with(tail); });
    };
    EXPECT_TRUE(shown("]]b.dat 正在更新，请不要点停止下载..")) << run.output;
    EXPECT_TRUE(shown("]]b.dat 更新...OK")) << run.output;
    EXPECT_TRUE(shown("] 文件更新成功！")) << run.output;
    const auto passes = JsonLines(ReadFile(report));
    ASSERT_EQ(passes.size(), 1u);
    EXPECT_EQ(passes[0]["outcome"], "ok");

    ASSERT_TRUE(terminal.Stop());
    const std::filesystem::path unit = sim / "CCID" / "unit-1";
    EXPECT_EQ(ReadFile(unit / "a.bin"), fileA);
    EXPECT_EQ(ReadFile(unit / "b.dat"), fileB);
    std::vector<std::string> requests;
    for (const nlohmann::json& line : terminal.Results("ccid")) {
        if (line["request"] != "data" && line["request"] != "probe") {
            requests.push_back(line["request"]);
        }
    }
    // No stop: the run ended by itself.
    EXPECT_EQ(requests, (std::vector<std::string>{"pass-poll", "pass-poll", "pass-result"}));
}

}  // namespace
}  // namespace termload::cli::test
