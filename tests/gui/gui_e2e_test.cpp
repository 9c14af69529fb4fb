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

}  // namespace
}  // namespace termload::test
