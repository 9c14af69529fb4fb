// Starting and stopping from the window: the start checks' boxes, the busy and idle states, the
// close question during a run, and how download threads' reports reach the window, at most once a
// frame.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include "app/gui_host_sink.h"
#include "config/last_configuration.h"
#include "config/user_store.h"
#include "engine/stop_signal.h"
#include "gui_test_support.h"
#include "support/refused_starts.h"

namespace termload::test {
namespace {

bool Checked(WindowUnderTest& w, int row) {
    return w.Find<QListWidget>("ckFiles")->item(row)->checkState() == Qt::Checked;
}

// COM1 has no device in the tests' port table, so a started run's thread ends at once on its
// failed open and the window stays in its downloading state until stopped.
TEST(WindowStart, DestinationLimitsFollowTheTerminalGeneration) {
    for (const bool newMachine : {false, true}) {
        SCOPED_TRACE(newMachine ? "new machine" : "old machine");
        const std::size_t limit = newMachine ? 50 : 14;
        WindowUnderTest w;
        w.dir.Write("fits.bin", "x");
        w.dir.Write("long.bin", "y");
        w.Load(ConfigText(std::string("Language=1\nNewMachine=") + (newMachine ? "1" : "0") + "\n",
                          "00=M740-32\n",
                          History({"1;fits.bin;" + std::string(limit, 'a'),
                                   "1;long.bin;" + std::string(limit + 1, 'b')})));
        auto* start = w.Find<QPushButton>("btnDown");
        Click(start);

        // The row that cannot go refuses the start, named, and stays as it was.
        ASSERT_EQ(w.prompts.Boxes().size(), 1u);
        EXPECT_EQ(w.prompts.Boxes()[0].kind, PromptKind::Warning);
        EXPECT_EQ(w.prompts.Boxes()[0].text,
                  QString("Download not started: row 2 of the file list (long.bin): ") +
                      (newMachine ? " Destination filename length muse less  50!  "
                                  : "Destination filename length muse less 14!  "));
        EXPECT_TRUE(Checked(w, 0));
        EXPECT_TRUE(Checked(w, 1));
        EXPECT_FALSE(w.window->IsDownloading());
        EXPECT_TRUE(OwnEnabled(w.Find<QWidget>("grpBox")));

        // Once the operator unchecks it, the row that fits starts the run: stop caption, and only
        // the start button usable.
        w.Find<QListWidget>("ckFiles")->item(1)->setCheckState(Qt::Unchecked);
        w.prompts.Clear();
        Click(start);
        EXPECT_TRUE(w.prompts.Boxes().empty());
        EXPECT_TRUE(w.window->IsDownloading());
        EXPECT_EQ(start->text(), "&Stop");
        EXPECT_TRUE(start->isEnabled());
        EXPECT_FALSE(OwnEnabled(w.Find<QWidget>("grpBox")));
        EXPECT_FALSE(OwnEnabled(w.Find<QWidget>("btnAdd")));

        Click(start);
        EXPECT_FALSE(w.window->IsDownloading());
        EXPECT_EQ(start->text(), "&Download");
        EXPECT_TRUE(OwnEnabled(w.Find<QWidget>("grpBox")));
    }
}

TEST(WindowStart, MissingSourceFileIsNamedAndNothingStarts) {
    WindowUnderTest w;
    w.Load(ConfigText("", "00=M740-32\n", History({"1;gone.bin;gone.bin", "1;lost.bin;lost.bin"})));
    auto* start = w.Find<QPushButton>("btnDown");
    Click(start);

    ASSERT_EQ(w.prompts.Boxes().size(), 2u);
    EXPECT_EQ(w.prompts.Boxes()[0].text,
              QString::fromStdString("未开始下载, 文件列表第1行 (gone.bin): 源文件: " +
                                     (w.dir.Path() / "gone.bin").string() + " 不存在!   "));
    EXPECT_EQ(w.prompts.Boxes()[1].text,
              QString::fromStdString("未开始下载, 文件列表第2行 (lost.bin): 源文件: " +
                                     (w.dir.Path() / "lost.bin").string() + " 不存在!   "));
    EXPECT_TRUE(Checked(w, 0));
    EXPECT_TRUE(Checked(w, 1));
    // Back to idle, no run.
    EXPECT_FALSE(w.window->IsDownloading());
    EXPECT_EQ(start->text(), "开始下载(&D)");
    EXPECT_TRUE(OwnEnabled(w.Find<QWidget>("grpBox")));
    EXPECT_TRUE(OwnEnabled(w.Find<QWidget>("btnAdd")));
}

// What the command line refuses (cli_run_test runs the same table), the window refuses with one
// box that says the same, and leaves every row as it was.
TEST(WindowStart, RefusesWhatTheCommandLineRefusesLeavingTheRows) {
    for (const RefusedStart& refused : RefusedStarts()) {
        SCOPED_TRACE(refused.name);
        WindowUnderTest w;
        for (const auto& [name, size] : refused.files) {
            w.dir.Write(name, "");
            std::filesystem::resize_file(w.dir.Path() / name, size);
        }
        w.Load(ConfigText("Language=1\n" + refused.configLines, "00=M740-32\n",
                          History(refused.rows)));
        w.prompts.Clear();
        Click(w.Find<QPushButton>("btnDown"));
        ASSERT_EQ(w.prompts.Boxes().size(), 1u);
        EXPECT_TRUE(w.prompts.Boxes()[0].text.contains(QString::fromStdString(refused.mention)))
            << w.prompts.Boxes()[0].text.toStdString();
        EXPECT_FALSE(w.window->IsDownloading());
        for (std::size_t row = 0; row < refused.rows.size(); ++row) {
            EXPECT_TRUE(Checked(w, static_cast<int>(row))) << row;
        }
    }
}

// A stored row that could not be loaded is named when the configuration loads, and again when
// Start is pressed, which starts nothing: the terminal would lack that file.
TEST(WindowStart, RowsTheLoadDroppedAreNamedAtLoadAndRefuseTheStart) {
    WindowUnderTest w;
    w.dir.Write("a.bin", "x");
    w.Load(ConfigText("", "00=M740-32\n", History({"1;a.bin;a.bin", "1;b.bin;"})));
    const QString named = QStringLiteral("文件列表中有未载入的行: b.bin (无目标文件)");
    ASSERT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_TRUE(w.prompts.Boxes()[0].text.startsWith(named))
        << w.prompts.Boxes()[0].text.toStdString();

    w.prompts.Clear();
    Click(w.Find<QPushButton>("btnDown"));
    ASSERT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_TRUE(w.prompts.Boxes()[0].text.startsWith(named))
        << w.prompts.Boxes()[0].text.toStdString();
    EXPECT_FALSE(w.window->IsDownloading());
    EXPECT_TRUE(Checked(w, 0)) << "the row that loaded stays as it was";
}

TEST(WindowStart, ClosingDuringARunAsksFirst) {
    WindowUnderTest w;
    w.dir.Write("a.bin", "x");
    w.Load(ConfigText("", "00=M740-32\n", History({"1;a.bin;a.bin"})));
    Click(w.Find<QPushButton>("btnDown"));
    ASSERT_TRUE(w.window->IsDownloading());

    w.prompts.AnswerNext(false);
    EXPECT_FALSE(w.window->close());
    ASSERT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_EQ(w.prompts.Boxes()[0].kind, PromptKind::Question);
    EXPECT_EQ(w.prompts.Boxes()[0].text, "程序正在下载，确定退出吗？  ");
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_TRUE(w.window->IsDownloading());

    w.prompts.AnswerNext(true);
    EXPECT_TRUE(w.window->close());
    EXPECT_FALSE(w.window->IsDownloading());
    // Closing stops, saves and remembers the configuration for the user (the registry on Windows).
    const LastConfiguration last =
        LoadUserLastConfiguration(w.dir.Path() / "store" / "termload.ini");
    EXPECT_EQ(last.configPath, (w.dir.Path() / "Config.ini").string());
    EXPECT_EQ(last.baseDir, w.dir.Path().string());

    // Idle: closes without a question. The clock file never lies in the current directory, so
    // an operator's timer.txt there stays, DownTimer or not.
    WindowUnderTest idle(ConfigText("DownTimer=1\n"));
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(idle.dir.Path());
    idle.dir.Write("timer.txt", "the operator's");
    EXPECT_TRUE(idle.window->close());
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(idle.prompts.Boxes().empty());
    EXPECT_TRUE(std::filesystem::exists(idle.dir.Path() / "timer.txt"));
}

// Starting 27 threads takes a while, and the window processes events between them: a stop (a
// thread's end) or a close that comes meanwhile is carried out once the start is done.
TEST(WindowStart, StopAndCloseDuringTheThreadStartsWaitForTheStart) {
    WindowUnderTest w;
    w.dir.Write("a.bin", "x");
    w.Load(ConfigText("PortNum=2\n", "00=M740-32\n", History({"1;a.bin;a.bin"})));
    Click(w.Find<QRadioButton>("rbMulti"));
    auto* start = w.Find<QPushButton>("btnDown");

    bool stopAskedWhileStarting = false;
    QTimer::singleShot(300, w.window.get(), [&] {
        stopAskedWhileStarting = w.window->IsDownloading();
        w.window->StopDownload();
    });
    Click(start);
    EXPECT_TRUE(stopAskedWhileStarting);
    EXPECT_FALSE(w.window->IsDownloading());
    EXPECT_EQ(start->text(), "开始下载(&D)");
    EXPECT_TRUE(OwnEnabled(w.Find<QWidget>("grpBox")));
    EXPECT_EQ(w.Find<QLabel>("Lab27")->text(), "[COM27]已就绪");

    QTimer::singleShot(300, w.window.get(), [&] { w.window->close(); });
    Click(start);
    EXPECT_TRUE(w.window->IsDownloading());
    EXPECT_TRUE(w.prompts.Boxes().empty());  // nothing asked while the threads were starting
    w.prompts.AnswerNext(true);
    ASSERT_TRUE(WaitUntil([&] { return !w.window->isVisible(); }, 5000));
    ASSERT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_EQ(w.prompts.Boxes()[0].kind, PromptKind::Question);
    EXPECT_FALSE(w.window->IsDownloading());
}

TEST(WindowPrompt, KindsChooseButtonsIconAndAnswer) {
    struct Case {
        PromptKind kind;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton press;
        bool answer;
    };
    const Case cases[] = {
        {PromptKind::Error, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, true},
        {PromptKind::Warning, QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel,
         QMessageBox::Cancel, false},
        {PromptKind::Question, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::Yes, true},
        {PromptKind::Information, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, true},
    };
    QWidget owner;
    for (const Case& expected : cases) {
        QTimer::singleShot(0, [&expected] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), "Termload");
            EXPECT_EQ(box->text(), "text  ");
            EXPECT_EQ(box->icon(), expected.icon);
            EXPECT_EQ(box->standardButtons(), expected.buttons);
            box->button(expected.press)->click();
        });
        EXPECT_EQ(ShowPrompt(&owner, expected.kind, "text"), expected.answer);
    }
}

// A slot's status label and progress bar, and the console, in a window for a sink to report to.
class WindowReports : public ::testing::Test {
  protected:
    QWidget window;
    QLabel label{&window};
    QProgressBar bar{&window};
    QPlainTextEdit console{&window};
};

TEST_F(WindowReports, LatestReportOfASlotWinsAndKeepsItsColour) {
    GuiHostSink sink(&window, &console, {});
    sink.BindSlot(4, &label, &bar);

    std::thread worker([&sink] {
        sink.SetStatus(4, "failed", StatusColour::Red);
        for (int i = 0; i <= 5000; ++i) {
            sink.SetStatus(4, "step " + std::to_string(i), std::nullopt);
            sink.SetProgress(4, {0, 5000, i});
        }
        sink.ShowConsoleText("Board ready\nline 2");
    });
    worker.join();
    ASSERT_TRUE(WaitUntil([&] { return label.text() == "step 5000"; }, 5000));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(bar.maximum(), 5000);
    EXPECT_EQ(bar.value(), 5000);
    EXPECT_EQ(console.toPlainText(), "Board ready\nline 2");

    // Reports for slots bound to nothing, or out of range, are dropped without harm.
    sink.SetStatus(5, "nowhere", StatusColour::Blue);
    sink.SetStatus(99, "out of range", StatusColour::Blue);
    sink.Flush();
    EXPECT_EQ(label.text(), "step 5000");
}

TEST_F(WindowReports, ErrorBoxDoesNotBlockAndItsThreadWaitsForAnswerOrStop) {
    int runsEnded = 0;
    GuiHostSink sink(&window, &console, {[&runsEnded](int) { ++runsEnded; }});
    window.show();

    auto findBox = [] {
        const QWidgetList tops = QApplication::topLevelWidgets();
        const auto box = std::find_if(tops.begin(), tops.end(), [](QWidget* widget) {
            return widget->isVisible() && qobject_cast<QMessageBox*>(widget) != nullptr;
        });
        return box == tops.end() ? nullptr : qobject_cast<QMessageBox*>(*box);
    };

    // Answered: the thread goes on with true.
    StopSignal stop;
    auto answer = std::make_shared<ErrorAnswer>();
    auto acknowledged = std::async(std::launch::async, [&] {
        sink.ShowError(0, "Erase user area failed！    ", answer);
        return answer->WaitForAcknowledgement(stop);
    });
    ASSERT_TRUE(WaitUntil([&] { return findBox() != nullptr; }, 5000));
    QMessageBox* box = findBox();
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(box->text(), "Erase user area failed！    ");
    // The window still takes work while the box is open.
    sink.RunEnded(2);
    ASSERT_TRUE(WaitUntil([&] { return runsEnded == 1; }, 5000));
    box->button(QMessageBox::Ok)->click();
    ASSERT_EQ(acknowledged.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(acknowledged.get());

    // Stopped: the thread stops waiting with false, and the stop closes the box unanswered.
    auto unanswered = std::make_shared<ErrorAnswer>();
    auto waited = std::async(std::launch::async, [&] {
        sink.ShowError(0, "second", unanswered);
        return unanswered->WaitForAcknowledgement(stop);
    });
    ASSERT_TRUE(WaitUntil([&] { return findBox() != nullptr; }, 5000));
    stop.Request();
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(waited.get());
    sink.CloseErrorBoxes();
    EXPECT_TRUE(WaitUntil([&] { return findBox() == nullptr; }, 5000));
}

// Reports that come within a frame of the last flush wait for the frame's end and are then
// applied together, once; a sink whose frame never ends here shows that nothing slips through.
TEST_F(WindowReports, ReportsWithinAFrameAreAppliedOnceWhenItEnds) {
    int applied = 0;
    QObject::connect(&bar, &QProgressBar::valueChanged, [&applied] { ++applied; });

    constexpr int kHour = 3600 * 1000;
    {
        GuiHostSink sink(&window, &console, {}, kHour);
        sink.BindSlot(2, &label, &bar);
        sink.Flush();
        std::atomic<bool> sent = false;
        std::thread worker([&sink, &sent] {
            for (int i = 1; i <= 2000; ++i) {
                sink.SetProgress(2, {0, 2000, i});
                sink.SetStatus(2, "step " + std::to_string(i), std::nullopt);
            }
            sent = true;
        });
        // The window goes on taking events while the reports come, and a while after.
        WaitUntil([&sent] { return sent.load(); }, 10000);
        worker.join();
        WaitUntil([] { return false; }, 50);
        EXPECT_EQ(applied, 0);
        EXPECT_EQ(label.text(), "");
        sink.Flush();
        EXPECT_EQ(applied, 1);
        EXPECT_EQ(bar.value(), 2000);
        EXPECT_EQ(label.text(), "step 2000");
    }

    // With a frame of 16 ms, the frame's timer applies what waited, without another report.
    GuiHostSink sink(&window, &console, {});
    sink.BindSlot(2, &label, &bar);
    bar.setValue(0);
    applied = 0;
    sink.Flush();
    std::thread([&sink] {
        for (int i = 1; i <= 500; ++i) {
            sink.SetProgress(2, {0, 2000, i});
        }
    }).join();
    ASSERT_TRUE(WaitUntil([&] { return bar.value() == 500; }, 5000));
    EXPECT_EQ(applied, 1);
}

}  // namespace
}  // namespace termload::test
