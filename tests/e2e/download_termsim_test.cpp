// The file download against termsim, the simulated terminals, on real pseudo-terminals: what the
// terminals store is compared byte for byte with the sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "channels/serial_channel.h"
#include "e2e/download_harness.h"
#include "engine/download_controller.h"
#include "engine/port_slot_table.h"
#include "support/port_map_scope.h"
#include "support/termsim.h"

namespace termload::download_test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// termsim with `ports` terminals below the workspace, the port map pointing at them while it lives.
class Termsim : public test::Termsim {
  public:
    Termsim(const fs::path& dir, int ports, bool fullFrames,
            const std::vector<std::string>& faults = {})
        : test::Termsim(dir / "termsim",
                        {"--ports", std::to_string(ports), "--frame",
                         fullFrames ? "full" : "compact", "--quiet"},
                        ports, faults) {}

    // Ends termsim and returns its result lines.
    std::vector<nlohmann::json> Results() {
        Stop();
        return test::Termsim::Results();
    }

  private:
    test::PortMapInForce map_{Map()};
};

// A stored file as termsim reports it.
struct StoredFile {
    std::string name;
    std::string path;
    bool good = false;
    int fileCount = 0;
    std::string time;
};

// The files each unit of each port stored: port -> unit -> files in arrival order.
std::map<std::string, std::map<int, std::vector<StoredFile>>> StoredFiles(
    const std::vector<nlohmann::json>& results) {
    std::map<std::string, std::map<int, std::vector<StoredFile>>> units;
    for (const auto& line : results) {
        if (line.value("event", "") != "file" || line.value("restarted", false)) {
            continue;
        }
        StoredFile file;
        file.name = line.value("name", "");
        file.path = line["stored"].is_string() ? line["stored"].get<std::string>() : "";
        file.good = line.value("good", false);
        file.fileCount = line.value("file_count", 0);
        file.time = line.contains("time") && line["time"].is_string()
                        ? line["time"].get<std::string>()
                        : "";
        units[line["port"].get<std::string>()][line["unit"].get<int>()].push_back(file);
    }
    return units;
}

constexpr auto Contents = test::ReadFile;

class DownloadTermsim : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ChannelLibInit(); }

    // Runs `passes` passes on every port; true when the run ended by itself in time.
    bool Run(Workspace& ws, int passes, std::chrono::seconds limit) {
        ws.options.passLimit = passes;
        const StartCheck check = CheckStart(ws.config, ws.options);
        EXPECT_TRUE(check.job);
        if (!check.job || !controller.Start(check.job)) {
            return false;
        }
        const bool ended = host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, limit);
        controller.Stop();
        return ended;
    }

    RecordingHost host;
    PortSlotTable table{host};
    DownloadController controller{table};
};

// The list every production test sends: tiny, one block, one block and a byte, the examples'
// 5000 bytes, 1 MiB, and 300 blocks so that the block numbers wrap. (An empty file is refused
// at the start.)
const std::vector<std::pair<std::string, std::size_t>> kFileList = {
    {"one.bin", 1},     {"block.bin", 4096},   {"block1.bin", 4097},
    {"five.bin", 5000}, {"mib.bin", 1u << 20}, {"wrap.bin", 300 * 4096 - 100}};

void AddFileList(Workspace& ws) {
    for (std::size_t i = 0; i < kFileList.size(); ++i) {
        ws.AddFile(kFileList[i].first, kFileList[i].second, static_cast<unsigned>(i));
    }
}

// Every port has `passes` units, each holding every file of the list, byte-identical.
void ExpectEveryPassDelivered(const std::vector<nlohmann::json>& results, int ports, int passes) {
    std::map<std::string, std::string> expected;
    for (std::size_t i = 0; i < kFileList.size(); ++i) {
        expected[kFileList[i].first] = PatternBytes(kFileList[i].second, static_cast<unsigned>(i));
    }
    const auto units = StoredFiles(results);
    ASSERT_EQ(units.size(), static_cast<std::size_t>(ports));
    for (const auto& [port, portUnits] : units) {
        EXPECT_EQ(portUnits.size(), static_cast<std::size_t>(passes)) << port;
        for (const auto& [unit, files] : portUnits) {
            SCOPED_TRACE(port + " unit " + std::to_string(unit));
            std::set<std::string> delivered;
            for (const StoredFile& file : files) {
                ASSERT_TRUE(file.good) << file.name;
                delivered.insert(file.name);
                ASSERT_EQ(expected.count(file.name), 1u) << file.name;
                EXPECT_TRUE(SameBytes(Contents(file.path), expected.at(file.name))) << file.name;
                EXPECT_EQ(file.fileCount, static_cast<int>(kFileList.size()));
            }
            EXPECT_EQ(delivered.size(), kFileList.size());
        }
    }
}

class DownloadTermsimFormats : public DownloadTermsim,
                               public ::testing::WithParamInterface<bool> {};

TEST_P(DownloadTermsimFormats, OnePortThreePassesArriveByteIdentical) {
    Workspace ws;
    ws.config.settings.newMachine = GetParam();
    AddFileList(ws);
    Termsim sim(ws.Dir(), 1, GetParam());
    ASSERT_TRUE(Run(ws, 3, 120s));
    ExpectEveryPassDelivered(sim.Results(), 1, 3);
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{true, true, true}));
}

TEST_P(DownloadTermsimFormats, TwentySevenPortsThreePassesArriveByteIdentical) {
    Workspace ws;
    ws.config.settings.newMachine = GetParam();
    ws.config.controls.portMode = PortMode::Multi;
    ws.config.controls.portNumIndex = 2;  // 27 ports
    // A short pause after each block keeps 27 ports from starving the terminals of CPU.
    ws.config.settings.frameDelayMs = 10;
    AddFileList(ws);
    Termsim sim(ws.Dir(), 27, GetParam());
    ASSERT_TRUE(Run(ws, 3, 400s));
    ExpectEveryPassDelivered(sim.Results(), 27, 3);
    // Every pass is good, unless a machine too busy to let termsim read for the write's time-out
    // made a write run out of time: the file then went again from its first block (the terminals
    // above hold it whole) and the pass is failed, as it must be. No other failure is allowed.
    for (int slot = 0; slot < 27; ++slot) {
        SCOPED_TRACE(slot);
        const std::vector<bool> ok = host.PassesOk(slot);
        EXPECT_EQ(ok.size(), 3u);
        const auto failures = host.Failures(slot);
        EXPECT_LE(static_cast<std::size_t>(std::count(ok.begin(), ok.end(), false)),
                  failures.size());
        for (const PassFailureReport& failure : failures) {
            EXPECT_EQ(failure.cause, FailureCause::TimeOut) << failure.text;
            EXPECT_EQ(failure.restart, PassRestart::File) << failure.text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FullAndCompact, DownloadTermsimFormats, ::testing::Bool());

// The production pacing and protocol times, unscaled.
TEST_F(DownloadTermsim, M868WithClockFileAtFullSpeed) {
    Workspace ws;
    ws.config.settings = Settings{};
    ws.config.settings.modeCodes = {"05"};
    ws.config.settings.sendTimerFile = true;
    ws.options.timings = Timings{};
    ws.config.controls.modelItems = {"M868"};
    ws.AddFile("telpay.bin", 5000, 1);
    ws.AddFile("logo0.bmp", 1, 2);
    Termsim sim(ws.Dir(), 1, true);
    ASSERT_TRUE(Run(ws, 2, 60s));

    const auto units = StoredFiles(sim.Results());
    ASSERT_EQ(units.count("COM1"), 1u);
    const auto& portUnits = units.at("COM1");
    ASSERT_EQ(portUnits.size(), 2u);
    const auto& first = portUnits.begin()->second;
    const auto& second = std::next(portUnits.begin())->second;
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0].name, "") << "no RootDir: the address file travels without a name";
    EXPECT_EQ(Contents(first[0].path),
              "[ADDR]\r\r\nName=telpay.bin\r\r\nStartAddr=0x0003b000\r\r\nEndAddr=0x0003b000\r\r\n"
              "App=telpay\r\r\n[ADDR]\r\r\nName=logo0.bmp\r\r\nStartAddr=0x10000000\r\r\n"
              "EndAddr=0x10000000\r\r\n");
    EXPECT_EQ(first[1].name, "telpay.bin");
    EXPECT_TRUE(SameBytes(Contents(first[1].path), PatternBytes(5000, 1)));
    EXPECT_EQ(first[3].name, "timer.txt") << "the clock file comes last";
    EXPECT_EQ(first[3].time.size(), 19u) << "14 digits of local time";
    for (const StoredFile& file : first) {
        EXPECT_TRUE(file.good) << file.name;
        EXPECT_EQ(file.fileCount, 4) << "two rows, the address file and the clock file";
    }
    ASSERT_EQ(second.size(), 4u) << "every terminal gets the address file first";
    EXPECT_EQ(Contents(second[0].path), Contents(first[0].path));
    EXPECT_EQ(second[1].name, "telpay.bin");
    EXPECT_EQ(second[3].name, "timer.txt");
}

// A terminal that hangs up mid-file (COM1) is swapped for a healthy one: the pass fails and the
// next pass gives the new terminal every file. A terminal that stalls (COM2) gets the file again
// from its first block on a fresh open; termsim takes that open as a new terminal, which here gets
// every file because the stall hit the first one, yet the pass is failed: the tool cannot know.
TEST_F(DownloadTermsim, AHangUpOrAStallFailsThePassAndTheNextTerminalGetsEveryFile) {
    Workspace ws;
    ws.config.controls.portMode = PortMode::Multi;
    ws.config.controls.portNumIndex = 0;  // 9 ports
    // The first file is more than the pseudo-terminal buffers, so the tool's writes meet the
    // failure; a real line holds no more than a few bytes.
    const std::vector<std::pair<std::string, std::size_t>> files = {
        {"big.bin", 48 * 4096 - 100}, {"one.bin", 1}, {"block1.bin", 4097}};
    std::map<std::string, std::string> expected;
    for (std::size_t i = 0; i < files.size(); ++i) {
        ws.AddFile(files[i].first, files[i].second, static_cast<unsigned>(i + 20));
        expected[files[i].first] = PatternBytes(files[i].second, static_cast<unsigned>(i + 20));
    }
    // After the third frame of the first file: the failing terminal holds part of big.bin.
    Termsim sim(ws.Dir(), 9, true, {"1:hangup=3", "2:stall=3"});
    ASSERT_TRUE(Run(ws, 2, 120s));

    for (int slot = 0; slot < 9; ++slot) {
        const std::string failure = "[COM" + std::to_string(slot + 1) + "]文件读取失败4";
        EXPECT_EQ(host.Shown(slot, failure, StatusColour::Red), slot < 2 ? 1 : 0) << slot;
        EXPECT_EQ(host.PassesOk(slot), (std::vector<bool>{slot >= 2, true})) << slot;
    }
    const auto results = sim.Results();
    std::map<std::string, std::vector<nlohmann::json>> unitLines;
    for (const auto& line : Events(results, "unit")) {
        unitLines[line["port"].get<std::string>()].push_back(line);
    }
    const auto stored = StoredFiles(results);
    ASSERT_EQ(unitLines.size(), 9u);
    for (const auto& [port, units] : unitLines) {
        SCOPED_TRACE(port);
        const bool failing = port == "COM1" || port == "COM2";
        ASSERT_EQ(units.size(), port == "COM2" ? 3u : 2u);
        if (failing) {
            EXPECT_EQ(units[0]["ended"], port == "COM1" ? "hang-up" : "stalled");
            EXPECT_FALSE(units[0]["complete"]);
            EXPECT_EQ(units[0]["files_good"], 0);
            EXPECT_EQ(units[0]["frames_good"], 3);
        }
        for (std::size_t i = failing ? 1 : 0; i < units.size(); ++i) {
            const int unit = units[i]["unit"].get<int>();
            SCOPED_TRACE("unit " + std::to_string(unit));
            EXPECT_TRUE(units[i]["complete"]);
            EXPECT_EQ(units[i]["frames_bad"], 0);
            ASSERT_EQ(stored.at(port).count(unit), 1u);
            const auto& got = stored.at(port).at(unit);
            ASSERT_EQ(got.size(), files.size());
            for (std::size_t f = 0; f < files.size(); ++f) {
                EXPECT_EQ(got[f].name, files[f].first);
                ASSERT_TRUE(got[f].good) << got[f].name;
                EXPECT_TRUE(SameBytes(Contents(got[f].path), expected.at(got[f].name)))
                    << got[f].name;
            }
        }
    }
}

// Terminals that hang up or stall in every unit: their ports keep starting the file again, the
// others go on, and a stop in the middle of it all ends every thread within a second.
TEST_F(DownloadTermsim, FailingTerminalsAndAStopDuringAPassOnTwentySevenPorts) {
    Workspace ws;
    ws.config.controls.portMode = PortMode::Multi;
    ws.config.controls.portNumIndex = 2;
    ws.config.settings.frameDelayMs = 10;
    ws.AddFile("big.bin", 64 * 4096, 1);
    Termsim sim(ws.Dir(), 27, true, {"1:hangup=5*all", "2:stall=5*all"});
    const std::size_t descriptors = test::OpenDescriptorCount();
    const StartCheck check = CheckStart(ws.config, ws.options);
    ASSERT_TRUE(check.job);
    ASSERT_TRUE(controller.Start(check.job));
    EXPECT_TRUE(host.WaitUntil(
        [](const auto& h) {
            return h.Shown(0, "[COM1]文件读取失败4", StatusColour::Red) > 0 &&
                   h.Shown(1, "[COM2]文件读取失败4", StatusColour::Red) > 0 &&
                   h.PassesFinished(26) > 0 && h.LastProgress(26).position > 2;
        },
        60s))
        << "both failures shown, the last port in its second pass";

    const auto stopAt = Clock::now();
    controller.Stop();
    EXPECT_LT(Clock::now() - stopAt, 1s);
    for (int slot = 0; slot < 27; ++slot) {
        EXPECT_TRUE(table[slot].threadEnded);
        EXPECT_EQ(host.LastStatus(slot).text, "[COM" + std::to_string(slot + 1) + "]已就绪");
        EXPECT_EQ(host.LastStatus(slot).colour, StatusColour::Black);
    }
    EXPECT_EQ(host.RunsEnded(), 0) << "a stop by the host is not reported back";
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
    EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
    const auto results = sim.Results();
    EXPECT_GE(Events(results, "hang-up").size(), 1u);
    EXPECT_GE(Events(results, "stall").size(), 1u);
}

}  // namespace
}  // namespace termload::download_test
