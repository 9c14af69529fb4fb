// The window against termsim's USB doors, driven by its own controls: a USB-HID version read that
// unchecks the row the terminal already holds and a download of the others; a kernel-mode
// download (boot console, YMODEM, USB pipe). The real hidapi and libusb of this very process
// reach termsim's umockdev devices only through umockdev's preload: CTest starts the program with
// it, and each termsim's testbed is named to it (UMOCKDEV_DIR) once termsim has made it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <optional>
#include <string_view>

#include "channels/port_map.h"
#include "gui_test_support.h"
#include "support/termsim.h"

namespace termload::test {
namespace {

namespace fs = std::filesystem;

class WindowOnUsbDoors : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        ASSERT_TRUE(preload != nullptr &&
                    std::string_view(preload).find("libumockdev-preload") != std::string_view::npos)
            << "run this program through CTest, which loads umockdev's preload into it; "
            << kUmockdevMissing;
        preload_ = preload;
        // termsim owns the testbed and runs without the preload.
        ::unsetenv("LD_PRELOAD");
    }

    void TearDown() override {
        ::unsetenv("UMOCKDEV_DIR");
        if (!preload_.empty()) {
            ::setenv("LD_PRELOAD", preload_.c_str(), 1);
        }
        SetPortMapFile(previousMap_);
    }

    void StartTermsim(std::vector<std::string> args) {
        args.emplace_back("--quiet");
        sim_ = std::make_unique<Termsim>(simDir_.Path(), std::move(args));
        ASSERT_TRUE(sim_->Started()) << sim_->Log();
        ASSERT_EQ(sim_->Log().find("without umockdev"), std::string::npos) << kUmockdevMissing;
        const auto env = ReadEnvFile(simDir_.Path() / "env");
        const auto testbed = env.find("UMOCKDEV_DIR");
        ASSERT_NE(testbed, env.end()) << kUmockdevMissing;
        ::setenv("UMOCKDEV_DIR", testbed->second.c_str(), 1);
        SetPortMapFile(sim_->Map());
    }

    // The check marks of the file list, as "x-x".
    static std::string Checks(WindowUnderTest& w) {
        auto* list = w.Find<QListWidget>("ckFiles");
        std::string marks;
        for (int row = 0; row < list->count(); ++row) {
            marks += list->item(row)->checkState() == Qt::Checked ? 'x' : '-';
        }
        return marks;
    }

    // Starts the download, waits until the status line's tally counts a good pass, and stops.
    static void DownloadOnePass(WindowUnderTest& w) {
        auto* start = w.Find<QPushButton>("btnDown");
        Click(start);
        ASSERT_TRUE(w.window->IsDownloading()) << w.prompts.Boxes().size() << " boxes";
        auto* tally = w.Find<QLabel>("TallyCurr");
        auto* status = w.Find<QLabel>("lbCurrFile");
        EXPECT_TRUE(WaitUntil([&] { return tally->text().startsWith("OK 1 "); }, 120000))
            << status->text().toStdString();
        EXPECT_EQ(tally->text(), "OK 1 Fail 0") << status->text().toStdString();
        Click(start);
        EXPECT_FALSE(w.window->IsDownloading());
    }

    ScratchDir simDir_{"gui-usb-doors"};
    std::unique_ptr<Termsim> sim_;
    std::string preload_;
    fs::path previousMap_ = PortMapFile();
};

TEST_F(WindowOnUsbDoors, HidVersionReadUnchecksTheRowTheTerminalHoldsAndTheOthersDownload) {
    WriteFile(simDir_.Path() / "versions.txt", "0;B001\n1;C001\n");
    ASSERT_NO_FATAL_FAILURE(StartTermsim(
        {"--hid", "--boot-ms", "50", "--versions", (simDir_.Path() / "versions.txt").string()}));

    WindowPlaces places;
    places.timings = Timings::Scaled(0.05);
    WindowUnderTest w(std::string(), places);
    const std::map<std::string, std::string> sources = {{"boot.bin", PatternBytes(3000, 1)},
                                                        {"core.bin", PatternBytes(9000, 2)},
                                                        {"sdk.bin", PatternBytes(4096, 3)}};
    for (const auto& [name, bytes] : sources) {
        w.dir.Write(name, bytes);
    }
    // boot.bin: the terminal's B001 is as new as the local one; core.bin: C001 is older than C002;
    // sdk.bin's type is never compared.
    w.dir.Write("UserLoacaVersion.ini", "0;boot;B001\n1;core;C002\n");
    // The HID terminal is there for the next pass at once: the pause after each file keeps a
    // pass long enough for the test to stop after the first.
    w.Load(
        ConfigText("Language=1\nUSBDelay=1\nS4KDelay=1\nFILE_INTERVAL=1\nFILE_INTERVAL_=1500\n",
                   "05=M740-32\n",
                   History({"1;boot.bin;boot.bin", "1;core.bin;core.bin", "1;sdk.bin;sdk.bin"})));
    Click(w.Find<QRadioButton>("rbusb"));

    Click(w.Find<QPushButton>("ReadFileVersion"));
    ASSERT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_EQ(w.prompts.Boxes()[0].text, "Source file: boot.bin is too low  ");
    EXPECT_EQ(Checks(w), "-xx");

    DownloadOnePass(w);
    ASSERT_EQ(sim_->Stop(), 0);
    const fs::path unit = simDir_.Path() / "HID" / "unit-1";
    EXPECT_FALSE(fs::exists(unit / "boot.bin"));
    EXPECT_TRUE(ReadFile(unit / "core.bin") == sources.at("core.bin"));
    EXPECT_TRUE(ReadFile(unit / "sdk.bin") == sources.at("sdk.bin"));
}

TEST_F(WindowOnUsbDoors, KernelModeDownloadTypesAtTheBootConsoleAndSendsYmodemAndThePipe) {
    // The banner comes after the open's pause, as from a terminal switched on later.
    ASSERT_NO_FATAL_FAILURE(StartTermsim({"--usb", "--boot-ms", "300", "--work-ms", "50"}));

    WindowPlaces places;
    places.timings = Timings::Scaled(0.05);
    // Opening a pseudo-terminal drops what the terminal has not read: it keeps the full pause;
    // the pipe's device and chunks keep theirs on a busy machine.
    places.timings.channelSettleMs = Timings{}.channelSettleMs;
    places.timings.usbDeviceRetryMs = Timings{}.usbDeviceRetryMs;
    places.timings.usbPipeChunkTimeoutMs = Timings{}.usbPipeChunkTimeoutMs;
    WindowUnderTest w(std::string(), places);
    const std::string bios = PatternBytes(20000, 9);  // two full chunks and a shorter one
    const std::string image = PatternBytes(40 * 1024 + 77, 7);
    w.dir.Write("u-boot.bin", bios);
    w.dir.Write("kernel.img", image);
    // The BIOS first: once the kernel image is started, the boot loader is gone.
    w.Load(ConfigText("Language=1\nHardVersion=10\nCMDDelay=0\nEmptyFlash=0\n", "0B=M740-KERNEL\n",
                      History({"3;u-boot.bin;u-boot.bin", "0;kernel.img;kernel.img"})));
    EXPECT_TRUE(w.Find<QRadioButton>("rbSingle")->isChecked());
    EXPECT_FALSE(OwnEnabled(w.Find<QRadioButton>("rbMulti")));

    DownloadOnePass(w);
    sim_->Stop();
    std::optional<std::string> ram;
    int written = 0;
    int started = 0;
    for (const nlohmann::json& line : sim_->Results()) {
        const std::string event = line.value("event", "");
        if (event == "file" && line.value("kind", "") == "ymodem" && line["stored"].is_string()) {
            ram = ReadFile(line["stored"].get<std::string>());
        } else if (event == "console" && line.value("ok", false)) {
            written += line.value("what", "") == "nand-write";
            started += line.value("what", "") == "kernel";
        }
    }
    EXPECT_TRUE(ram == image);
    EXPECT_GE(written, 1);
    EXPECT_GE(started, 1);
    // The BIOS the terminal solidified (a terminal that starts over counts as a new unit).
    std::string solidified;
    for (int unit = 1; unit <= 9; ++unit) {
        const fs::path region =
            simDir_.Path() / "COM1" / ("unit-" + std::to_string(unit)) / "nand" / "region-0.bin";
        if (fs::exists(region)) {
            solidified = ReadFile(region);
        }
    }
    EXPECT_TRUE(solidified == bios);
}

}  // namespace
}  // namespace termload::test
