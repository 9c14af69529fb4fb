// The kernel-image row against termsim's boot loader on a pseudo-terminal: the image in the
// terminal's RAM is compared byte for byte with the source, and the boot loader's own record says
// whether it was written to NAND with the right size and started. Stops during the banner wait and
// during the YMODEM transfer end the run at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "channels/serial_channel.h"
#include "config/model_rules.h"
#include "e2e/download_harness.h"
#include "engine/download_controller.h"
#include "engine/port_slot_table.h"
#include "support/port_map_scope.h"
#include "support/termsim.h"

namespace termload::download_test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class KernelImage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ChannelLibInit(); }

    KernelImage() {
        ws.config.settings.langBase = kLangEnglish;
        ws.config.settings.commandDelayMs = 0;
        image = PatternBytes(kImageSize, 7);
        const fs::path path = ws.Dir() / "kernel.img";
        std::ofstream(path, std::ios::binary) << image;
        EXPECT_EQ(ws.config.files.AddFileRow(0, path.string(), "kernel.img"), AddRowResult::Added);
    }

    void UseKernelModel() {
        ws.config.controls.modelItems = {"M740-KERNEL"};
        ModelChanged(ws.config);
    }

    void Start() {
        const StartCheck check = CheckStart(ws.config, ws.options);
        ASSERT_TRUE(check.job) << (check.messages.empty() ? "" : check.messages[0].text);
        ASSERT_TRUE(controller.Start(check.job));
    }

    std::chrono::milliseconds TimedStop() {
        const auto began = Clock::now();
        controller.Stop();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began);
    }

    // One pass, failed with this cause and text.
    void ExpectOneFailedPass(FailureCause cause, const std::string& text) {
        EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
        EXPECT_TRUE(host.FailedOnce(0, {.cause = cause, .text = text}));
    }

    // Waits for the run to end (the slot's texts when it did not), then stops it.
    void AwaitRunEnd() {
        const bool ended = host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; },
                                          std::chrono::seconds(120));
        std::string shown;
        for (const std::string& text : ended ? std::vector<std::string>{} : Texts()) {
            shown += text + "\n";
        }
        EXPECT_TRUE(ended) << shown << host.Console();
        controller.Stop();
    }

    // The slot's texts in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const StatusEntry& entry : host.Statuses(0)) {
            texts.push_back(entry.text);
        }
        return texts;
    }

    static constexpr std::size_t kImageSize = 300 * 1024 + 77;
    Workspace ws;
    std::string image;
    RecordingHost host;
    PortSlotTable table{host};
    DownloadController controller{table};
};

// termsim's boot loader, quick at its work, the port map pointing at it while it lives.
class BootLoaderSim : public test::Termsim {
  public:
    BootLoaderSim(const fs::path& dir, std::vector<std::string> args = {})
        : test::Termsim(dir / "termsim", With(std::move(args))) {}
    static std::vector<std::string> With(std::vector<std::string> args) {
        // The banner comes 300 ms after the port opens: after the open's pause, as a terminal
        // switched on later would send it (one that came during the open would be cleared).
        for (const char* arg : {"--quiet", "--boot-ms", "300", "--work-ms", "50"}) {
            args.emplace_back(arg);
        }
        return args;
    }

  private:
    test::PortMapInForce map_{Map()};
};

// `expected` appear in `texts` in this order (other texts may come between).
::testing::AssertionResult InOrder(const std::vector<std::string>& texts,
                                   const std::vector<std::string>& expected) {
    auto at = texts.begin();
    for (const std::string& text : expected) {
        at = std::find(at, texts.end(), text);
        if (at == texts.end()) {
            return ::testing::AssertionFailure() << "\"" << text << "\" missing or out of order";
        }
    }
    return ::testing::AssertionSuccess();
}

// One console event of termsim's record, by what it was.
std::vector<nlohmann::json> ConsoleEvents(const std::vector<nlohmann::json>& results,
                                          const std::string& what) {
    return Events(results, "console", "what", what);
}

// The boot loader wrote the image to NAND once and started the kernel once.
void ExpectWrittenAndStarted(const std::vector<nlohmann::json>& results) {
    const auto written = ConsoleEvents(results, "nand-write");
    ASSERT_EQ(written.size(), 1u);
    EXPECT_TRUE(written[0].value("ok", false)) << written[0].dump();
    const auto kernel = ConsoleEvents(results, "kernel");
    ASSERT_EQ(kernel.size(), 1u);
    EXPECT_TRUE(kernel[0].value("ok", false));
}

class KernelImageFlash : public KernelImage, public ::testing::WithParamInterface<bool> {};

// EmptyFlash on, in kernel mode: the user area is erased before the files, the RAM and NAND tested
// before the image. Off, outside kernel mode, with a file after the image: none of it, and the
// file's frames do not count the image.
TEST_P(KernelImageFlash, ImageReachesRamIsWrittenToNandAndStarted) {
    const bool emptyFlash = GetParam();
    ws.config.settings.emptyFlash = emptyFlash;
    if (emptyFlash) {
        UseKernelModel();
    } else {
        ws.AddFile("app.bin", 5000, 3);
    }
    ws.options.passLimit = 1;
    BootLoaderSim sim(ws.Dir());
    Start();
    AwaitRunEnd();
    sim.Stop();
    const auto results = sim.Results();

    const auto stored = Events(results, "file", "kind", "ymodem");
    ASSERT_EQ(stored.size(), 1u);
    ASSERT_TRUE(stored[0]["stored"].is_string());
    EXPECT_TRUE(SameBytes(test::ReadFile(stored[0]["stored"].get<std::string>()), image));
    ExpectWrittenAndStarted(results);
    EXPECT_EQ(ConsoleEvents(results, "ramtest").size(), emptyFlash ? 1u : 0u);
    const auto erased = ConsoleEvents(results, "erase");
    ASSERT_EQ(erased.size(), emptyFlash ? 2u : 0u);
    if (emptyFlash) {
        EXPECT_EQ(erased[0].value("detail", ""), "region 3");
        EXPECT_EQ(erased[1].value("detail", ""), "region r");
    }

    // In kernel mode the boot loader has answered before the row: its banner is not waited for
    // again (it would not come).
    std::vector<std::string> labels = {"[COM1]Kernel start...",       "[COM1]kernel.img...",
                                       "[COM1]kernel.img(301K/301K)", "[COM1]Write FLASH ...",
                                       "[COM1]Kernel start...",       "[COM1]Download finished"};
    if (emptyFlash) {
        labels.insert(labels.begin(),
                      {"waiting BIOS start...", "[COM1]Waiting Erase user area....",
                       "[COM1]Erase user area...OK", "[COM1]Test RAM...", "[COM1]Test NAND..."});
    } else {
        labels.insert(labels.begin(), "[COM1]waiting BIOS start...");
    }
    const std::vector<std::string> texts = Texts();
    EXPECT_TRUE(InOrder(texts, labels));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "[COM1]waiting BIOS start..."),
              emptyFlash ? 0 : 1);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{true});

    if (!emptyFlash) {
        const auto frames = Events(results, "file", "name", "app.bin");
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_TRUE(frames[0].value("good", false));
        EXPECT_EQ(frames[0].value("file_count", 0), 1) << "the image is not counted";
    }
}

INSTANTIATE_TEST_SUITE_P(EmptyFlashOnAndOff, KernelImageFlash, ::testing::Bool());

// Production times: typing at 100 ms a byte, the exchanges' full time-outs, the pauses.
TEST_F(KernelImage, KernelModeAtFullSpeed) {
    UseKernelModel();
    ws.options.timings = Timings{};
    ws.options.passLimit = 1;
    BootLoaderSim sim(ws.Dir());
    Start();
    AwaitRunEnd();
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{true});
    sim.Stop();
    ExpectWrittenAndStarted(sim.Results());
}

TEST_F(KernelImage, ImageCutShortFailsThePassWithItsCause) {
    BootLoaderSim sim(ws.Dir(), {"--fault", "all:can=20"});
    ws.options.passLimit = 1;
    Start();
    AwaitRunEnd();
    ExpectOneFailedPass(FailureCause::Ymodem, "[COM1]Cancel");
    sim.Stop();
    EXPECT_TRUE(ConsoleEvents(sim.Results(), "nand-write").empty()) << "nothing to write";
}

// The boot loader hangs at the NAND write: the write's three attempts time out, the row ends at
// once with the label it had, and the pass says why it failed.
TEST_F(KernelImage, NandWriteWithoutAnswerFailsThePass) {
    BootLoaderSim sim(ws.Dir(), {"--fault", "all:hang=downnand"});
    ws.options.passLimit = 1;
    Start();
    AwaitRunEnd();
    ExpectOneFailedPass(FailureCause::Console, "[COM1]Write FLASH ...");
    sim.Stop();
    const auto results = sim.Results();
    EXPECT_EQ(ConsoleEvents(results, "downnand").size(), 1u);
    EXPECT_TRUE(ConsoleEvents(results, "kernel").empty());
}

// The kernel never mounts its file system: "Download finished" stays, with the reason after it in
// red, and the pass fails with its own cause.
TEST_F(KernelImage, KernelThatNeverStartsFailsThePass) {
    BootLoaderSim sim(ws.Dir(), {"--fault", "all:hang=run"});
    ws.options.passLimit = 1;
    Start();
    AwaitRunEnd();
    ExpectOneFailedPass(FailureCause::KernelStart, "[COM1]Download finished Kernel did not start!");
    EXPECT_TRUE(InOrder(Texts(), {"[COM1]Kernel start...", "[COM1]Download finished"}));
    EXPECT_EQ(host.Shown(0, "[COM1]Download finished Kernel did not start!", StatusColour::Red), 1);
    sim.Stop();
    EXPECT_EQ(ConsoleEvents(sim.Results(), "nand-write").size(), 1u);
}

// The user area cannot be erased: the operator is told, and the boot loader is waited for again
// (this one never answers again) until the stop.
TEST_F(KernelImage, UserAreaEraseFailureIsShownAndTheBannerWaitedForAgain) {
    UseKernelModel();
    ws.config.settings.emptyFlash = true;
    BootLoaderSim sim(ws.Dir(), {"--fault", "all:hang=nandtest"});
    Start();
    ASSERT_TRUE(host.WaitUntil([](const auto& h) { return h.ErrorCount() > 0; }, 30s));
    EXPECT_EQ(host.ErrorTextAt(0), "Erase user area failed！    ");
    // Once before the erase; again after the error.
    EXPECT_TRUE(host.WaitUntil(
        [](const auto& h) {
            const auto all = h.Statuses(0);
            return std::count_if(all.begin(), all.end(), [](const StatusEntry& e) {
                       return e.text == "waiting BIOS start...";
                   }) >= 2;
        },
        30s));
    EXPECT_EQ(host.ErrorCount(), 1u);
    EXPECT_LT(TimedStop(), std::chrono::seconds(1));
    EXPECT_TRUE(host.PassesOk(0).empty()) << "no terminal was served";
    sim.Stop();
    EXPECT_TRUE(ConsoleEvents(sim.Results(), "comload").empty());
}

// Outside kernel mode a list with a kernel image runs on nine ports at once.
TEST_F(KernelImage, NinePortsEachGetTheImage) {
    ws.config.controls.portMode = PortMode::Multi;
    ws.config.controls.portNumIndex = 0;  // 9 ports
    ws.options.passLimit = 1;
    test::Termsim sim(ws.Dir() / "termsim", BootLoaderSim::With({"--ports", "9"}), 9);
    {
        const test::PortMapInForce map(sim.Map());
        Start();
        AwaitRunEnd();
    }
    sim.Stop();
    const auto results = sim.Results();
    std::set<std::string> ports;
    for (const auto& line : Events(results, "file", "kind", "ymodem")) {
        EXPECT_TRUE(SameBytes(test::ReadFile(line["stored"].get<std::string>()), image));
        ports.insert(line.value("port", ""));
    }
    EXPECT_EQ(ports.size(), 9u);
    const auto kernel = ConsoleEvents(results, "kernel");
    EXPECT_EQ(std::count_if(kernel.begin(), kernel.end(),
                            [](const auto& e) { return e.value("ok", false); }),
              9);
    for (int slot = 0; slot < 9; ++slot) {
        EXPECT_EQ(host.PassesOk(slot), std::vector<bool>{true}) << slot;
    }
}

TEST_F(KernelImage, StopDuringTheBannerWaitOrTheTransferEndsTheRunAtOnce) {
    UseKernelModel();
    {
        // Nobody answers: the thread waits for the banner, a port re-open after each silence.
        PtyCapture silent;
        test::PortMapForTest map({&silent.Peer()});
        Start();
        EXPECT_TRUE(host.WaitUntil(
            [](const auto& h) { return h.LastStatus(0).text == "waiting BIOS start..."; }, 10s));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_LT(TimedStop(), std::chrono::seconds(1));
    }
    // A transfer paced at 115200 baud takes seconds: stopped in its middle.
    BootLoaderSim sim(ws.Dir(), {"--baud", "115200"});
    Start();
    EXPECT_TRUE(host.WaitUntil(
        [](const auto& h) { return h.LastStatus(0).text.starts_with("[COM1]kernel.img(2"); }, 60s));
    EXPECT_LT(TimedStop(), std::chrono::seconds(1));
    sim.Stop();
    EXPECT_TRUE(ConsoleEvents(sim.Results(), "nand-write").empty());
}

}  // namespace
}  // namespace termload::download_test
