// The window against simulated terminals: a nine-port download into termsim, driven by the
// window's own controls, and the stop that ends it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <ranges>
#include <set>

#include "app/port_panels.h"
#include "channels/port_map.h"
#include "gui_test_support.h"
#include "support/termsim.h"

namespace termload::test {
namespace {

// termsim on `ports` pseudo-terminals, with its port map in force while the object lives.
class MappedTermsim : public Termsim {
  public:
    MappedTermsim(const std::filesystem::path& dir, int ports)
        : Termsim(dir, {"--ports", std::to_string(ports), "--quiet"}, ports) {
        SetPortMapFile(Map());
    }
    ~MappedTermsim() { SetPortMapFile(previousMap_); }

  private:
    std::filesystem::path previousMap_ = PortMapFile();
};

TEST(WindowEndToEnd, NinePortsDownloadIntoTermsimAndStopResetsEveryPanel) {
    constexpr int kPorts = 9;
    const TempDir simDir;
    MappedTermsim sim(simDir.Path(), kPorts);
    ASSERT_TRUE(sim.Started());

    WindowUnderTest w;
    // Files of one byte, of a frame and a bit, and of many frames; the last one's "...OK" stays up
    // for the fixed pause after it before the next terminal's pass begins.
    const std::map<std::string, std::string> sources = {{"param.dat", "P"},
                                                        {"app.bin", PatternBytes(5000, 1)},
                                                        {"data.bin", PatternBytes(70000, 2)}};
    for (const auto& [name, bytes] : sources) {
        w.dir.Write(name, bytes);
    }
    w.Load(
        ConfigText("Language=0\nNewMachine=1\nPortNum=0\nUSBDelay=1\nS4KDelay=0\n"
                   "FILE_INTERVAL=1\nFILE_INTERVAL_=400\n",
                   "00=M740-32\n",
                   History({"1;param.dat;param.dat", "1;app.bin;app.bin", "2;data.bin;data.bin"})));
    Click(w.Find<QRadioButton>("rbMulti"));
    auto* start = w.Find<QPushButton>("btnDown");
    Click(start);
    ASSERT_TRUE(w.window->IsDownloading());
    EXPECT_EQ(start->text(), "停止下载(&S)");
    EXPECT_TRUE(w.prompts.Boxes().empty());

    std::set<int> finished;
    auto label = [&w](int port) { return w.Find<QLabel>("Lab", port); };
    const bool allFinished = WaitUntil(
        [&] {
            for (int port = 1; port <= kPorts; ++port) {
                if (label(port)->text() == QStringLiteral("[[COM%1]]data.bin...OK").arg(port) &&
                    label(port)->palette().color(QPalette::WindowText) == QColor(Qt::blue)) {
                    finished.insert(port);
                }
            }
            return finished.size() == kPorts;
        },
        60000);
    EXPECT_TRUE(allFinished) << finished.size() << " ports showed the last file done";
    // Each port's finished pass counts on its own panel, as done; the stop keeps the count.
    auto panel = [&w](int port) { return w.Find<PortPanel>("Pan", port); };
    EXPECT_TRUE(WaitUntil(
        [&] {
            return std::ranges::all_of(std::views::iota(1, kPorts + 1),
                                       [&](int port) { return panel(port)->Tally().Done() > 0; });
        },
        30000));

    Click(start);
    EXPECT_FALSE(w.window->IsDownloading());
    EXPECT_EQ(start->text(), "开始下载(&D)");
    for (int port = 1; port <= kPorts; ++port) {
        EXPECT_EQ(label(port)->text(), QStringLiteral("[COM%1]已就绪").arg(port));
        EXPECT_EQ(label(port)->palette().color(QPalette::WindowText), QColor(Qt::black));
        EXPECT_EQ(w.Find<QProgressBar>("Prog", port)->value(), 0);
        EXPECT_GE(panel(port)->Tally().Done(), 1) << port;
        EXPECT_EQ(panel(port)->Tally().Failed(), 0) << port;
        EXPECT_EQ(w.Find<QLabel>("Tally", port)->text(),
                  QStringLiteral("成功%1 失败0").arg(panel(port)->Tally().Done()));
    }

    // Every port's terminals hold every file byte for byte (a pass cut by the stop may have left
    // a file unfinished; it is never stored as good).
    std::map<std::string, std::set<std::string>> identical;  // port -> names
    sim.Stop();
    for (const nlohmann::json& line : sim.Results()) {
        if (line.is_discarded() || line.value("event", "") != "file" ||
            !line.value("good", false)) {
            continue;
        }
        const std::string name = line.value("name", "");
        const auto source = sources.find(name);
        ASSERT_NE(source, sources.end()) << name;
        EXPECT_EQ(ReadFile(line.at("stored").get<std::string>()), source->second) << name;
        identical[line.value("port", "")].insert(name);
    }
    for (int port = 1; port <= kPorts; ++port) {
        EXPECT_EQ(identical["COM" + std::to_string(port)].size(), sources.size()) << "COM" << port;
    }
}

// A line of USB serial adapters: a COM port exists only while its terminal is plugged in. The
// window starts with the port's device missing; the port fails its pass and waits for it, and the
// terminal plugged in later is served.
TEST(WindowEndToEnd, PortWhoseDeviceIsMissingAtTheStartWaitsForIt) {
    const TempDir simDir;
    Termsim sim(simDir.Path(), {"--quiet"});
    ASSERT_TRUE(sim.Started());
    const std::filesystem::path previousMap = PortMapFile();
    const std::filesystem::path adapter = simDir.Path() / "ttyUSB0";
    SetPortMapFile(simDir.Write("usb-ports.ini", "[Ports]\nCOM1=" + adapter.string() + "\n"));

    WindowUnderTest w;
    w.dir.Write("app.bin", PatternBytes(5000, 1));
    w.Load(ConfigText("Language=1\nUSBDelay=1\nS4KDelay=0\nFILE_INTERVAL=1\nFILE_INTERVAL_=1\n",
                      "00=M740-32\n", History({"1;app.bin;app.bin"})));
    auto* start = w.Find<QPushButton>("btnDown");
    Click(start);
    EXPECT_TRUE(w.prompts.Boxes().empty());
    EXPECT_TRUE(w.window->IsDownloading());
    auto* label = w.Find<QLabel>("lbCurrFile");
    auto* tally = w.Find<QLabel>("TallyCurr");
    EXPECT_TRUE(WaitUntil([&] { return label->text() == "[COM1]Port open failed!"; }, 10000))
        << label->text().toStdString();
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));

    // Plugged in: the adapter's node appears.
    std::filesystem::create_symlink(simDir.Path() / "ports" / "COM1", adapter);
    // One failed pass while it was missing, then terminals served.
    EXPECT_TRUE(WaitUntil(
        [&] {
            const QString text = tally->text();
            return !text.startsWith("OK 0") && text.endsWith(" Fail 1");
        },
        30000))
        << tally->text().toStdString();
    Click(start);
    EXPECT_FALSE(w.window->IsDownloading());
    SetPortMapFile(previousMap);
    sim.Stop();
    EXPECT_EQ(ReadFile(simDir.Path() / "COM1" / "unit-1" / "app.bin"), PatternBytes(5000, 1));
}

}  // namespace
}  // namespace termload::test
