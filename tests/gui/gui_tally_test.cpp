// The port panels' tallies: pass outcomes reported through the window's host sink count on the
// right port, survive a stop and a new start, reset from the panel's menu or with a new
// configuration, and mark a port whose passes keep failing; the status line of the single-port
// and USB modes shows its own.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <functional>
#include <thread>

#include "app/gui_host_sink.h"
#include "app/port_panels.h"
#include "app/window_report.h"
#include "config/string_table.h"
#include "gui_test_support.h"
#include "support/pass_shapes.h"

namespace termload::test {
namespace {

const std::string kOneRow = History({"1;a.bin;a.bin"});

QLabel* Tally(WindowUnderTest& w, int port) {
    return w.Find<QLabel>("Tally", port);
}

PortPanel* Panel(WindowUnderTest& w, int port) {
    return w.Find<PortPanel>("Pan", port);
}

// A window in multi-port mode with 9 ports, whose slots have been bound to the panels by a run
// that was started and stopped (the run's threads use ports 1-9 only).
void StartAndStop(WindowUnderTest& w) {
    auto* start = w.Find<QPushButton>("btnDown");
    Click(start);
    ASSERT_TRUE(w.window->IsDownloading());
    Click(start);
    ASSERT_FALSE(w.window->IsDownloading());
}

void MultiPortWindow(WindowUnderTest& w, bool english) {
    w.dir.Write("a.bin", "x");
    w.Load(
        ConfigText(english ? "Language=1\nPortNum=0\n" : "PortNum=0\n", "00=M740-32\n", kOneRow));
    Click(w.Find<QRadioButton>("rbMulti"));
    StartAndStop(w);
}

// Reports as a download thread makes them, from a thread of its own.
void Report(WindowUnderTest& w, const std::function<void(HostSink&)>& reports) {
    std::thread([&] { reports(w.window->Host()); }).join();
}

void Pass(HostSink& host, int slot, bool ok, const std::string& redText = std::string()) {
    host.PassStarted(slot, 1);
    host.SetStatus(slot, "[COM]a.bin 4K", StatusColour::Black);
    if (!redText.empty()) {
        host.SetStatus(slot, redText, StatusColour::Red);
    }
    host.PassFinished(slot, 1, ok);
}

// Opens the tally menu on `on`, as a right click does, and runs `action` from it.
void FromTallyMenu(WindowUnderTest& w, QWidget* on, const char* action) {
    emit on->customContextMenuRequested(QPoint(20, 20));
    auto* menu = w.Find<QMenu>("pmTally");
    EXPECT_TRUE(menu->isVisible());
    w.Find<QAction>(action)->trigger();
    menu->hide();
}

// Passes of every shape, through the engine into the window's host sink: the tally counts the
// engine's verdict (download_link_test and cli_records_test run the same table); a stopped pass
// counts neither way.
TEST(WindowTally, CountsTheEnginesVerdictOfEveryPassShape) {
    for (const PassShape& shape : PassShapes()) {
        SCOPED_TRACE(shape.name);
        QWidget window;
        QLabel label(&window);
        QProgressBar bar(&window);
        GuiHostSink sink(&window, nullptr, {});
        PortTally tally;
        sink.BindSlot(0, &label, &bar,
                      [&tally](const PassOutcomes& outcomes) { tally.Apply(outcomes); });
        RunPassShape(shape, sink);
        sink.Flush();
        EXPECT_EQ(tally.Done(), shape.verdict == PassVerdict::Ok ? 1 : 0);
        EXPECT_EQ(tally.Failed(), shape.verdict == PassVerdict::Failed ? 1 : 0);
        if (shape.verdict == PassVerdict::Failed) {
            ASSERT_TRUE(tally.LastFailure());
            EXPECT_TRUE(tally.LastFailure()->text.contains("File read error"))
                << tally.LastFailure()->text.toStdString();
        }
    }
}

TEST(WindowTally, OutcomesCountOnTheirPortSurviveAStopAndANewStartAndFailuresInARowMarkIt) {
    WindowUnderTest w;
    MultiPortWindow(w, true);
    EXPECT_TRUE(Tally(w, 12)->isHidden());  // nothing to count yet: the panel looks as before

    Report(w, [](HostSink& host) {
        Pass(host, 11, true);
        // A red text earlier in a pass that then fails is the failure's text, unless a later one
        // comes; a text without a colour keeps red in force.
        host.PassStarted(11, 2);
        host.SetStatus(11, "[COM12]early", StatusColour::Red);
        host.SetStatus(11, "[COM12]File read error4", std::nullopt);
        host.PassFinished(11, 2, false);
        Pass(host, 20, true);
    });
    ASSERT_TRUE(WaitUntil([&] { return Tally(w, 12)->text() == "OK 1 Fail 1"; }, 5000));
    EXPECT_FALSE(Tally(w, 12)->isHidden());
    EXPECT_EQ(Tally(w, 21)->text(), "OK 1 Fail 0");
    for (const int port : {11, 13, 20, 22}) {
        EXPECT_TRUE(Tally(w, port)->isHidden()) << port;
    }
    const QString tip = Tally(w, 12)->toolTip();
    EXPECT_TRUE(tip.startsWith("COM12: OK 1 Fail 1\nLast failure ")) << tip.toStdString();
    EXPECT_TRUE(tip.endsWith("\n[COM12]File read error4")) << tip.toStdString();
    EXPECT_FALSE(Panel(w, 12)->Tally().Marked());
    // The status line is untouched: the tally has its place at the right end of the bar's line,
    // inside the panel, and lets the bar show through.
    QLabel* status = w.Find<QLabel>("Lab12");
    auto* bar = w.Find<QProgressBar>("Prog12");
    EXPECT_EQ(status->text(), "[COM12]File read error4");
    EXPECT_EQ(status->width(), kPortPanelLabelWidth);
    EXPECT_EQ(bar->width(), kPortPanelLabelWidth);
    EXPECT_FALSE(Tally(w, 12)->geometry().intersects(status->geometry()));
    EXPECT_TRUE(bar->geometry().contains(Tally(w, 12)->geometry()));
    EXPECT_GT(Tally(w, 12)->geometry().right(), bar->geometry().center().x());
    EXPECT_LT(Tally(w, 12)->palette().color(QPalette::Window).alpha(), 255);
    EXPECT_GT(Tally(w, 12)->geometry().left(), bar->geometry().left());

    StartAndStop(w);
    EXPECT_EQ(Tally(w, 12)->text(), "OK 1 Fail 1");
    EXPECT_EQ(Tally(w, 21)->text(), "OK 1 Fail 0");
    EXPECT_EQ(Tally(w, 12)->toolTip(), tip);

    // Three failed passes in a row mark the port, until a pass succeeds.
    PortPanel* panel = Panel(w, 15);
    const auto textColour = [&] { return Tally(w, 15)->palette().color(QPalette::WindowText); };

    Report(w, [](HostSink& host) {
        Pass(host, 14, false, "[COM15]one");
        Pass(host, 14, false, "[COM15]two");
    });
    ASSERT_TRUE(WaitUntil([&] { return panel->Tally().Failed() == 2; }, 5000));
    EXPECT_FALSE(panel->Tally().Marked());
    const QColor quiet = textColour();

    // Reports that arrive together are taken in their order: the success ends the run.
    Report(w, [](HostSink& host) {
        Pass(host, 14, false, "[COM15]three");
        Pass(host, 14, true);
        Pass(host, 14, false, "[COM15]four");
    });
    ASSERT_TRUE(WaitUntil([&] { return panel->Tally().Failed() == 4; }, 5000));
    EXPECT_FALSE(panel->Tally().Marked());
    EXPECT_EQ(panel->Tally().FailedInARow(), 1);

    Report(w, [](HostSink& host) {
        Pass(host, 14, false, "[COM15]five");
        host.PassStarted(14, 7);  // a failed pass without a red text: noted with its last text
        host.SetStatus(14, "[COM15]a.bin 8K", StatusColour::Black);
        host.PassFinished(14, 7, false);
    });
    ASSERT_TRUE(WaitUntil([&] { return panel->Tally().Marked(); }, 5000));
    EXPECT_EQ(Tally(w, 15)->text(), "OK 1 Fail 6");
    EXPECT_TRUE(Tally(w, 15)->toolTip().endsWith("\n[COM15]a.bin 8K\nFailed in a row: 3"))
        << Tally(w, 15)->toolTip().toStdString();
    // The mark is a colour no status text uses; the status line keeps its own.
    const QColor mark = textColour();
    EXPECT_EQ(mark, QColor::fromRgb(kFailingPortMark));
    for (const StatusColour used : {StatusColour::Black, StatusColour::Red, StatusColour::Blue}) {
        EXPECT_NE(mark, ColourOf(static_cast<std::uint32_t>(used)));
    }
    EXPECT_EQ(w.Find<QLabel>("Lab15")->palette().color(QPalette::WindowText),
              ColourOf(static_cast<std::uint32_t>(StatusColour::Black)));
    EXPECT_FALSE(Panel(w, 16)->Tally().Marked());

    Report(w, [](HostSink& host) { Pass(host, 14, true); });
    ASSERT_TRUE(WaitUntil([&] { return !panel->Tally().Marked(); }, 5000));
    EXPECT_EQ(Tally(w, 15)->text(), "OK 2 Fail 6");
    EXPECT_EQ(textColour(), quiet);
    EXPECT_FALSE(Tally(w, 15)->toolTip().contains("Failed in a row"));

    // In single-port mode the pass counts on the port chosen for it: the run's own pass fails
    // there, since COM21 has no device here and a port that does not open fails its pass; then a
    // reported pass succeeds there.
    Click(w.Find<QRadioButton>("rbSingle"));
    Choose(w.Find<QComboBox>("cmbPort"), 20);
    auto* start = w.Find<QPushButton>("btnDown");
    Click(start);
    ASSERT_TRUE(WaitUntil([&] { return Tally(w, 21)->text() == "OK 1 Fail 1"; }, 20000))
        << Tally(w, 21)->text().toStdString();
    if (w.window->IsDownloading()) {
        Click(start);
    }
    ASSERT_FALSE(w.window->IsDownloading());
    EXPECT_EQ(Tally(w, 12)->text(), "OK 1 Fail 1");
    Report(w, [](HostSink& host) { Pass(host, 0, true); });
    ASSERT_TRUE(WaitUntil([&] { return Tally(w, 21)->text() == "OK 2 Fail 1"; }, 5000));
}

TEST(WindowTally, ResetsOnePortOrAllFromThePanelMenuAndWithANewConfiguration) {
    WindowUnderTest w;
    MultiPortWindow(w, false);
    const auto feed = [&] {
        Report(w, [](HostSink& host) {
            Pass(host, 11, true);
            Pass(host, 11, false, "[COM12]文件读取失败4");
            Pass(host, 20, false, "[COM21]文件读取失败4");
        });
        return WaitUntil([&] { return Tally(w, 21)->text() == "成功0 失败1"; }, 5000);
    };
    ASSERT_TRUE(feed());
    EXPECT_EQ(Tally(w, 12)->text(), "成功1 失败1");
    EXPECT_TRUE(Tally(w, 12)->toolTip().startsWith("COM12: 成功1 失败1\n最近失败 "));
    EXPECT_TRUE(Tally(w, 12)->toolTip().endsWith("\n[COM12]文件读取失败4"));

    auto* resetPort = w.Find<QAction>("TallyReset");
    auto* resetAll = w.Find<QAction>("TallyResetAll");
    EXPECT_EQ(resetPort->text(), "清零本端口计数");
    EXPECT_EQ(resetAll->text(), "清零全部端口计数");

    FromTallyMenu(w, Panel(w, 12), "TallyReset");
    EXPECT_TRUE(Tally(w, 12)->isHidden());
    EXPECT_EQ(Panel(w, 12)->Tally().Done(), 0);
    EXPECT_EQ(Tally(w, 21)->text(), "成功0 失败1");

    FromTallyMenu(w, Panel(w, 3), "TallyResetAll");
    EXPECT_TRUE(Tally(w, 21)->isHidden());
    EXPECT_EQ(Panel(w, 21)->Tally().Failed(), 0);

    // Another configuration starts every count afresh, in its language.
    ASSERT_TRUE(feed());
    w.Load(ConfigText("Language=1\nPortNum=0\n", "00=M740-32\n", kOneRow), "english.ini");
    for (const int port : {12, 21}) {
        EXPECT_TRUE(Tally(w, port)->isHidden()) << port;
        EXPECT_TRUE(Panel(w, port)->Tally().Empty()) << port;
    }
    EXPECT_EQ(resetPort->text(), "Reset this port's count");
    EXPECT_EQ(resetAll->text(), "Reset all ports' counts");
}

// The one status line of the single-port and USB modes shows the tally of what its passes count
// on: the chosen COM port (the count of that port's panel) or, in the USB modes, the transport. A
// start on a port that cannot be opened here adds a failed pass of its own: failures are counted
// from what the starts left.
TEST(WindowTally, TheSinglePortStatusLineShowsTheTallyItsPassesCountOn) {
    WindowUnderTest w;
    w.dir.Write("a.bin", "x");
    w.Load(ConfigText("Language=1\nPortNum=0\n", "00=M740-32\n", kOneRow));
    Click(w.Find<QRadioButton>("rbSingle"));
    Choose(w.Find<QComboBox>("cmbPort"), 5);
    auto* line = w.Find<QLabel>("lbCurrFile");
    QLabel* tally = w.Find<QLabel>("TallyCurr");
    auto* mark = w.Find<QWidget>("MarkCurr");
    const PortTally& com6 = Panel(w, 6)->Tally();
    const auto shown = [&] {
        return QStringLiteral("OK %1 Fail %2").arg(com6.Done()).arg(com6.Failed());
    };
    StartAndStop(w);
    const std::int64_t failedAtStart = com6.Failed();

    Report(w, [](HostSink& host) {
        Pass(host, 0, true);
        Pass(host, 0, false, "[COM6]one");
    });
    ASSERT_TRUE(WaitUntil([&] { return com6.Done() == 1; }, 5000));
    EXPECT_EQ(com6.Failed(), failedAtStart + 1);
    EXPECT_FALSE(tally->isHidden());
    EXPECT_EQ(tally->text(), shown());
    EXPECT_TRUE(tally->toolTip().startsWith("COM6: " + shown() + "\nLast failure "));
    EXPECT_TRUE(tally->toolTip().endsWith("\n[COM6]one"));
    EXPECT_EQ(line->text(), "[COM6]one");
    EXPECT_EQ(line->width(), 314);
    const auto* lineBar = w.Find<QProgressBar>("Process");
    EXPECT_FALSE(tally->geometry().intersects(line->geometry()));
    EXPECT_TRUE(lineBar->geometry().contains(tally->geometry()));
    EXPECT_GT(tally->geometry().right(), lineBar->geometry().center().x());
    EXPECT_TRUE(mark->isHidden());

    StartAndStop(w);
    EXPECT_EQ(com6.Done(), 1);
    EXPECT_EQ(tally->text(), shown());
    Report(w, [](HostSink& host) {
        Pass(host, 0, false, "[COM6]two");
        Pass(host, 0, false, "[COM6]three");
    });
    ASSERT_TRUE(WaitUntil([&] { return !mark->isHidden(); }, 5000));
    EXPECT_EQ(tally->text(), shown());
    EXPECT_EQ(tally->palette().color(QPalette::WindowText), QColor::fromRgb(kFailingPortMark));

    // Another port shows its own count; the USB modes count on the transport, not on a port.
    Choose(w.Find<QComboBox>("cmbPort"), 2);
    EXPECT_TRUE(tally->isHidden());
    EXPECT_TRUE(mark->isHidden());
    Choose(w.Find<QComboBox>("cmbPort"), 5);
    EXPECT_EQ(tally->text(), shown());
    EXPECT_FALSE(mark->isHidden());
    Click(w.Find<QRadioButton>("rbusb"));
    EXPECT_TRUE(mark->isHidden());
    EXPECT_TRUE(tally->isHidden());  // the transport's own count, empty
    const QString com6Shown = shown();

    // The status line's menu resets what it shows, or every count.
    auto* frame = w.Find<QWidget>("pnlNormal");
    FromTallyMenu(w, frame, "TallyReset");
    EXPECT_TRUE(tally->isHidden());
    Click(w.Find<QRadioButton>("rbSingle"));
    EXPECT_EQ(tally->text(), com6Shown);
    FromTallyMenu(w, frame, "TallyResetAll");
    EXPECT_TRUE(tally->isHidden());
    EXPECT_TRUE(mark->isHidden());
    EXPECT_TRUE(com6.Empty());

    // This build refuses USB downloads at the start, so the transport's count is fed directly.
    std::array<QWidget, 3> columns;
    QFrame normal;
    QLabel status(&normal);
    status.setGeometry(2, 0, 314, 16);
    QProgressBar statusBar(&normal);
    statusBar.setGeometry(2, 17, 314, 14);
    PortPanels panels({&columns[0], &columns[1], &columns[2]});
    panels.SetLanguage(kLangEnglish);
    panels.AttachStatusLine(&status, &statusBar, &normal);
    panels.ShowOnStatusLine(kTransportTallyPort);
    PassOutcomes outcome;
    outcome.Add(true, std::nullopt);
    panels.Record(kTransportTallyPort, outcome);
    const auto* usb = normal.findChild<QLabel*>("TallyCurr");
    EXPECT_EQ(usb->text(), "OK 1 Fail 0");
    EXPECT_TRUE(usb->toolTip().startsWith("USB: OK 1 Fail 0"));
    EXPECT_TRUE(panels.Tally(1).Empty());
    panels.ShowOnStatusLine(1);
    EXPECT_TRUE(usb->isHidden());
}

}  // namespace
// A script that cannot look into the window reads it from the report: the panels it shows, with
// their tallies, and where its buttons are.
TEST(WindowTally, TheWindowReportTellsWhatThePanelsAndButtonsShow) {
    WindowUnderTest w;
    MultiPortWindow(w, true);
    Report(w, [](HostSink& host) {
        Pass(host, 2, true);
        Pass(host, 2, true);
        Pass(host, 4, false, "[COM5]File read error4");
        host.SetProgress(2, {0, 100, 40});
    });
    const QString path = QString::fromStdString((w.dir.Path() / "report.json").string());
    WindowReport report(w.window.get(), path);
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(path); }, 5000));
    report.Write();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();

    const QJsonArray panels = root["panels"].toArray();
    ASSERT_EQ(panels.size(), kPortPanelCount);
    for (int port = 1; port <= kPortPanelCount; ++port) {
        const QJsonValue panel = panels[port - 1];
        EXPECT_EQ(panel["port"].toInt(), port);
        EXPECT_EQ(panel["done"].toInt(), Panel(w, port)->Tally().Done()) << port;
        EXPECT_EQ(panel["failed"].toInt(), Panel(w, port)->Tally().Failed()) << port;
        EXPECT_EQ(panel["status"].toString(), w.Find<QLabel>("Lab", port)->text());
    }
    EXPECT_EQ(panels[2]["done"].toInt(), 2);
    EXPECT_EQ(panels[2]["progress"].toInt(), 40);
    EXPECT_EQ(panels[2]["maximum"].toInt(), 100);
    EXPECT_GE(panels[4]["failed"].toInt(), 1);

    auto* start = w.Find<QPushButton>("btnDown");
    const QJsonObject button = root["buttons"].toObject()["btnDown"].toObject();
    const QPoint centre = start->mapToGlobal(start->rect().center());
    EXPECT_EQ(button["x"].toInt(), centre.x());
    EXPECT_EQ(button["y"].toInt(), centre.y());
    EXPECT_EQ(button["text"].toString(), start->text());
    EXPECT_TRUE(root["buttons"].toObject()["rbMulti"].toObject()["checked"].toBool());
}

}  // namespace termload::test
