// USB-HID end to end: termload-cli, through its real hidapi under umockdev's preload, downloads
// into termsim's HID terminal, which checks every report and stores the files; a report the
// device refuses ends that file with "File read error2" and fails the pass. The window's version
// read goes through the same device.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "support/files.h"
#include "support/process.h"
#include "support/termsim.h"

namespace termload::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class HidRun : public ::testing::Test {
  protected:
    void StartTermsim(const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = {"--hid", "--quiet", "--boot-ms", "50"};
        args.insert(args.end(), more.begin(), more.end());
        sim_ = std::make_unique<Termsim>(dir_ / "sim", args);
        ASSERT_TRUE(sim_->Started()) << sim_->Log();
        ASSERT_EQ(sim_->Log().find("without umockdev"), std::string::npos) << kUmockdevMissing;
        env_ = ReadEnvFile(dir_ / "sim" / "env");
        ASSERT_EQ(env_.count("UMOCKDEV_DIR"), 1u);
        ASSERT_EQ(env_.count("LD_PRELOAD"), 1u);
        // In a sanitizer build the preload comes before the ASan runtime, which is fine here.
        env_["ASAN_OPTIONS"] = "verify_asan_link_order=0";
    }

    void WriteConfig(const std::vector<std::pair<std::string, std::string>>& files) {
        std::string config =
            "[ModeList]\n05=M740-32\n[Config]\nLanguage=1\nMachMode=0\nUSBDelay=1\nS4KDelay=1\n"
            "FILE_INTERVAL=1\nFILE_INTERVAL_=1\nEmptyFlash=0\n[History]\nRecentCount=" +
            std::to_string(files.size()) + "\n";
        for (std::size_t row = 0; row < files.size(); ++row) {
            const auto& [name, content] = files[row];
            WriteFile(dir_ / name, content);
            config += "Recent" + std::to_string(row) + "=1;" + name + ";" + name + "\n";
        }
        WriteFile(dir_ / "Config.ini", config);
    }

    // One pass over HID; returns the exit code and leaves the output in output_.
    int RunOnePass() {
        Process cli({TERMLOAD_CLI_PATH, "run", "--config", (dir_ / "Config.ini").string(),
                     "--ports-map", sim_->Map().string(), "--transport", "hid", "--passes", "1",
                     "--report", (dir_ / "report.jsonl").string()},
                    dir_ / "cli.txt", -1, env_);
        const int code = cli.Wait(120s).value_or(-1);
        output_ = ReadFile(dir_ / "cli.txt");
        return code;
    }

    // termsim's own count of the reports, written when it stops.
    nlohmann::json HidSummary() {
        EXPECT_EQ(sim_->Stop(), 0);
        const auto lines = sim_->Results("hid");
        return lines.size() == 1 ? lines[0] : nlohmann::json{};
    }

    fs::path Stored(const std::string& name) const {
        return dir_ / "sim" / "HID" / "unit-1" / name;
    }

    ScratchDir dir_{"termload-hid", true};
    std::unique_ptr<Termsim> sim_;
    std::map<std::string, std::string> env_;
    std::string output_;
};

TEST_F(HidRun, EveryFrameIsOneWholeReportAndTheFilesArriveIntact) {
    StartTermsim();
    const std::vector<std::pair<std::string, std::string>> files = {
        {"app.bin", PatternBytes(3 * 4096 + 17, 1)}, {"tiny.ini", "a=1\r\n"}};
    WriteConfig(files);
    ASSERT_EQ(RunOnePass(), 0) << output_;
    for (const auto& [name, content] : files) {
        EXPECT_TRUE(ReadFile(Stored(name)) == content) << name;
    }
    // termsim counts as a frame report only one of 4174 bytes with id 0x0B.
    const nlohmann::json hid = HidSummary();
    EXPECT_EQ(hid["reports"], 5) << hid;
    EXPECT_EQ(hid["frame_reports"], 5) << hid;
    EXPECT_EQ(hid["bad_reports"], 0) << hid;
}

TEST_F(HidRun, ARefusedReportEndsItsFileAndTheNextFileStillArrives) {
    // Reports: a.bin 1-2, b.bin 3-4 (the 4th is refused), c.bin 5.
    StartTermsim({"--hid-fault", "refuse=4"});
    WriteConfig({{"a.bin", PatternBytes(5000, 2)},
                 {"b.bin", PatternBytes(6000, 3)},
                 {"c.bin", PatternBytes(100, 4)}});
    EXPECT_EQ(RunOnePass(), 1) << output_;
    EXPECT_NE(output_.find("File read error2"), std::string::npos) << output_;
    const auto pass = JsonLines(ReadFile(dir_ / "report.jsonl"));
    ASSERT_EQ(pass.size(), 1u);
    EXPECT_EQ(pass[0]["outcome"], "failed");
    EXPECT_EQ(pass[0]["files"][1]["result"], "failed");
    EXPECT_EQ(pass[0]["files"][2]["result"], "ok");
    EXPECT_TRUE(ReadFile(Stored("a.bin")) == PatternBytes(5000, 2));
    EXPECT_FALSE(fs::exists(Stored("b.bin")));
    EXPECT_TRUE(ReadFile(Stored("c.bin")) == PatternBytes(100, 4));
    const nlohmann::json hid = HidSummary();
    EXPECT_EQ(hid["refused"], 1) << hid;
    EXPECT_EQ(hid["frame_reports"], 4) << hid << ": the file was not sent again";
}

// A device that stops taking reports: the write gives up after its bound and the file fails with
// "2"; the channel's close does not wait for the stuck write, so the run goes on with the next
// file on the device opened afresh.
TEST_F(HidRun, AReportThatNeverFinishesFailsItsFileAndTheRunGoesOn) {
    // Reports: a.bin 1-2 (the 2nd never finishes), b.bin 3.
    StartTermsim({"--hid-fault", "stall=2"});
    WriteConfig({{"a.bin", PatternBytes(5000, 5)}, {"b.bin", PatternBytes(100, 6)}});
    EXPECT_EQ(RunOnePass(), 1) << output_;
    const auto pass = JsonLines(ReadFile(dir_ / "report.jsonl"));
    ASSERT_EQ(pass.size(), 1u) << output_;
    EXPECT_EQ(pass[0]["files"][0]["result"], "failed") << pass[0];
    EXPECT_NE(std::string(pass[0]["files"][0].value("text", "")).find("File read error2"),
              std::string::npos)
        << pass[0];
    EXPECT_EQ(pass[0]["files"][1]["result"], "ok") << pass[0];
    EXPECT_TRUE(ReadFile(Stored("b.bin")) == PatternBytes(100, 6));
    const nlohmann::json hid = HidSummary();
    EXPECT_EQ(hid["stalled"], 1) << hid;
    EXPECT_EQ(hid["reports"], 2) << hid;
}

TEST_F(HidRun, VersionReadSendsTheRequestReportAndUnwrapsTheReply) {
    WriteFile(dir_ / "versions.txt", "0;B001\n7;SDK105\n");
    StartTermsim({"--versions", (dir_ / "versions.txt").string()});
    Process peer({HID_VERSION_PEER_PATH}, dir_ / "peer.txt", -1, env_);
    ASSERT_EQ(peer.Wait(60s).value_or(-1), 0) << ReadFile(dir_ / "peer.txt");
    std::istringstream words(ReadFile(dir_ / "peer.txt"));
    std::string word;
    words >> word;
    ASSERT_EQ(word, "reply");
    std::string reply;
    for (unsigned byte = 0; words >> std::hex >> byte;) {
        reply.push_back(static_cast<char>(byte));
    }
    // The reply as a line would carry it: header, the versions, and a sum that checks.
    ASSERT_GT(reply.size(), 7u);
    EXPECT_EQ(reply.substr(0, 6), std::string("\x01\x01\x01\x01\x15\xDC", 6));
    EXPECT_NE(reply.find("B001"), std::string::npos);
    EXPECT_NE(reply.find("SDK105"), std::string::npos);
    unsigned sum = 0;
    for (std::size_t i = 3; i + 1 < reply.size(); ++i) {
        sum += static_cast<unsigned char>(reply[i]);
    }
    EXPECT_EQ(sum & 0xFF, static_cast<unsigned char>(reply.back()));
    const nlohmann::json hid = HidSummary();
    EXPECT_EQ(hid["request_reports"], 1) << hid;
    EXPECT_EQ(hid["bad_reports"], 0) << hid;
}

}  // namespace
}  // namespace termload::test
