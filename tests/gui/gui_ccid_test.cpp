// The window's CCID reader controls against a real pcscd serving termsim's reader: the reader
// listed and picked again after another, a terminal that needs two reboot requests connected on the
// third probe and closed again, a download over the window's connection with its end of pass, one
// that never answers
// ready, and no reader. The PC/SC client takes the daemon's socket once per process, so every
// termsim of this test runs in one directory (one socket).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <sstream>

#include "gui_test_support.h"
#include "support/termsim.h"

namespace termload::test {
namespace {

std::unique_ptr<Termsim> StartReader(const std::filesystem::path& dir, int rebootsNeeded) {
    auto sim = std::make_unique<Termsim>(
        dir,
        std::vector<std::string>{"--ccid", "--quiet", "--ccid-fault",
                                 "unready=" + std::to_string(rebootsNeeded), "--seconds", "300"});
    EXPECT_TRUE(sim->Started()) << sim->Log();
    std::istringstream env(ReadFile(dir / "env"));
    for (std::string line; std::getline(env, line);) {
        if (line.starts_with("PCSCLITE_CSOCK_NAME=")) {
            ::setenv("PCSCLITE_CSOCK_NAME", line.substr(20).c_str(), 1);
        }
    }
    return sim;
}

int Requests(const Termsim& sim, const std::string& kind) {
    int count = 0;
    for (const auto& line : sim.Results("ccid")) {
        count += line["request"] == kind;
    }
    return count;
}

TEST(WindowCcid, OpenProbesRebootsAndCloses) {
    ASSERT_TRUE(PcscdInstalled());
    const ScratchDir simDir("gui-ccid");
    auto sim = StartReader(simDir.Path(), 2);

    WindowPlaces places;
    places.ccidRestartPauseMs = 50;
    WindowUnderTest w(ConfigText("Language=1\n"), places);
    auto* combo = w.Find<QComboBox>("cmbccid");
    auto* button = w.Find<QPushButton>("btntest");
    auto* label = w.Find<QLabel>("lbCurrFile");
    auto* single = w.Find<QRadioButton>("rbSingle");
    ASSERT_EQ(combo->count(), 1);
    EXPECT_TRUE(combo->itemText(0).startsWith("Termsim CCID Terminal"))
        << combo->itemText(0).toStdString();
    Click(w.Find<QRadioButton>("rbccid"));

    // The operator picks another reader (listed as a second one), then the first again: Open
    // connects to the first, the one the list shows.
    combo->addItem("Other Reader 01");
    Choose(combo, 1);
    Choose(combo, 0);

    // Two reboot requests, ready at the third probe.
    Click(button);
    EXPECT_EQ(button->text(), "Close");
    EXPECT_EQ(label->text(), "Connected CCID devices successfully...");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_FALSE(OwnEnabled(single));
    EXPECT_FALSE(OwnEnabled(w.Find<QRadioButton>("rbMulti")));
    EXPECT_FALSE(OwnEnabled(w.Find<QRadioButton>("rbusb")));
    EXPECT_EQ(Requests(*sim, "probe"), 3);
    EXPECT_EQ(Requests(*sim, "reboot"), 2);

    // "Close" disconnects without probing.
    Click(button);
    EXPECT_EQ(button->text(), "open");
    EXPECT_EQ(label->text(), "CCID devices Disconnect！");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(OwnEnabled(single));
    EXPECT_EQ(Requests(*sim, "probe"), 3);

    // A download goes over the connection the window opened; after its one pass the run ends by
    // itself and the stop closes the connection.
    const std::string content = PatternBytes(9000, 3);
    w.dir.Write("app.bin", content);
    w.Load(ConfigText("Language=1\nUSBDelay=1\nS4KDelay=1\nFILE_INTERVAL=0\nFILE_INTERVAL_=0\n",
                      "00=M740-32\n", History({"1;app.bin;app.bin"})));
    Click(w.Find<QRadioButton>("rbccid"));
    Click(button);
    ASSERT_EQ(button->text(), "Close");
    Click(w.Find<QPushButton>("btnDown"));
    ASSERT_TRUE(w.window->IsDownloading()) << w.prompts.Boxes().size();
    // The end of the pass: the terminal is asked whether it has written what it received, under a
    // text in the colour in force (the blue of the file just done); its confirmation counts the
    // pass as done on the transport's tally.
    EXPECT_TRUE(
        WaitUntil([&] { return label->text().endsWith("正在更新，请不要点停止下载.."); }, 60000))
        << label->text().toStdString();
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::blue));
    ASSERT_TRUE(WaitUntil([&] { return !w.window->IsDownloading(); }, 60000));
    EXPECT_EQ(w.Find<QLabel>("TallyCurr")->text(), "OK 1 Fail 0");
    EXPECT_EQ(button->text(), "open");
    EXPECT_TRUE(OwnEnabled(single));
    ASSERT_TRUE(sim->Stop());
    std::string stored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(simDir.Path())) {
        if (entry.path().filename() == "app.bin") {
            stored = ReadFile(entry.path());
        }
    }
    EXPECT_EQ(stored, content);
    EXPECT_EQ(Requests(*sim, "pass-result"), 1);
    EXPECT_EQ(Requests(*sim, "stop"), 0);
    sim.reset();

    // A terminal that never answers ready: three attempts, then the failure text.
    sim = StartReader(simDir.Path(), 100);
    label->clear();
    Click(button);
    EXPECT_EQ(button->text(), "open");
    EXPECT_EQ(label->text(), "Read CCID devices failure");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(OwnEnabled(single));
    ASSERT_TRUE(sim->Stop());
    sim.reset();

    // No reader: the list empties and opening fails.
    label->clear();
    Click(w.Find<QPushButton>("RefreshCCID"));
    EXPECT_EQ(combo->count(), 0);
    Click(button);
    EXPECT_EQ(label->text(), "Read CCID devices failure");
}

}  // namespace
}  // namespace termload::test
