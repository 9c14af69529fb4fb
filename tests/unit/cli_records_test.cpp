// Pass counting, report records and the text fitting of the live view.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/cli_host.h"
#include "cli/demo_verify.h"
#include "cli/demo_workspace.h"
#include "cli/iso_time.h"
#include "cli/line_views.h"
#include "cli/live_view.h"
#include "cli/pass_report.h"
#include "cli/pass_tracker.h"
#include "cli/progress_view.h"
#include "cli/run_events.h"
#include "support/files.h"
#include "support/pass_shapes.h"

namespace termload::cli {
namespace {

FileReport File(int slot, const std::string& name, std::uint64_t size, bool ok) {
    return {slot, -1, "/data/" + name, name, size, ok, ""};
}

TEST(PassTracker, CountsPassesPerPortAndStopsAtTheLimit) {
    PassTracker tracker({3, 4}, 2);
    const WallTime t0 = std::chrono::system_clock::now();
    EXPECT_FALSE(tracker.PassFinished(0, true, t0).has_value()) << "no pass open";

    tracker.PassStarted(0, 1, t0);
    tracker.FileFinished(File(0, "app.bin", 122000, true));
    tracker.FileFinished(File(1, "stray.bin", 1, true));  // slot 1 has no open pass: dropped
    auto first = tracker.PassFinished(0, true, t0 + std::chrono::seconds(2));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->record.port, 3);
    EXPECT_EQ(first->record.pass, 1);
    EXPECT_EQ(first->record.outcome, "ok");
    ASSERT_EQ(first->record.files.size(), 1u);
    EXPECT_EQ(first->record.files[0].size, 122000);
    EXPECT_FALSE(first->limitReached);

    // The engine's verdict is the pass's outcome.
    tracker.PassStarted(0, 2, t0);
    tracker.FileFinished(File(0, "app.bin", 122000, false));
    auto second = tracker.PassFinished(0, false, t0);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->record.outcome, "failed");
    EXPECT_TRUE(second->limitReached);
    EXPECT_FALSE(tracker.AllDone()) << "COM4 has done nothing yet";
    EXPECT_TRUE(tracker.AnyFailure());

    tracker.PassStarted(1, 1, t0);
    tracker.PassFinished(1, true, t0);
    tracker.PassStarted(1, 2, t0);
    tracker.PassFinished(1, true, t0);
    EXPECT_TRUE(tracker.AllDone());
    const auto tallies = tracker.Tallies();
    EXPECT_EQ(tallies[0].passesDone, 2);
    EXPECT_EQ(tallies[0].passesFailed, 1);
    EXPECT_EQ(tallies[0].filesFailed, 1);
    EXPECT_EQ(tallies[1].passesFailed, 0);
}

// A failure on the way (which the engine fails the pass for) reaches the report line and the
// summary.
TEST(PassTracker, AFailureInAPassFailsItAndReachesTheReportAndTheSummary) {
    PassTracker tracker({5}, 1);
    const WallTime t0 = std::chrono::system_clock::now();
    tracker.PassStarted(0, 1, t0);
    tracker.PassFailed(
        {0, "app.bin", "[COM5]文件读取失败4", FailureCause::TimeOut, PassRestart::File});
    tracker.PassFailed({1, "x.bin", "[COM6]x", FailureCause::HangUp, PassRestart::NextPass});
    tracker.FileFinished(File(0, "app.bin", 122000, true));
    FileReport failed = File(0, "b.bin", 0, false);
    failed.text = "[COM5] File read error1";
    tracker.FileFinished(failed);
    const auto finished = tracker.PassFinished(0, false, t0);
    ASSERT_TRUE(finished.has_value());
    EXPECT_EQ(finished->record.outcome, "failed");
    EXPECT_TRUE(tracker.AnyFailure());

    const auto json = nlohmann::json::parse(PassRecordJson(finished->record));
    ASSERT_EQ(json["failures"].size(), 1u) << "slot 1 had no open pass";
    EXPECT_EQ(json["failures"][0]["cause"], "time-out");
    EXPECT_EQ(json["failures"][0]["restart"], "file");
    EXPECT_EQ(json["failures"][0]["file"], "app.bin");
    EXPECT_EQ(json["failures"][0]["text"], "[COM5]文件读取失败4");
    EXPECT_FALSE(json["files"][0].contains("text")) << "only a failed file names its text";
    EXPECT_EQ(json["files"][1]["text"], "[COM5] File read error1");
    const auto lines = SummaryLines(tracker.Tallies());
    EXPECT_EQ(lines[0], "COM5   passes 1 (1 failed)  files 1 ok, 1 failed  failures 1");
    EXPECT_EQ(lines[1], "total  passes 1 (1 failed)  files 1 ok, 1 failed  failures 1");
}

TEST(PassTracker, AStopClosesOpenPassesAsStopped) {
    PassTracker tracker({1}, std::nullopt);
    const WallTime t0 = std::chrono::system_clock::now();
    tracker.PassStarted(0, 1, t0);
    tracker.FileFinished(File(0, "a.bin", 10, true));
    tracker.FileFinished(File(0, "b.bin", 10, false));  // cut short by the stop
    const auto closed = tracker.CloseOpenPasses(t0);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].outcome, "stopped");
    EXPECT_EQ(closed[0].files[0].result, "ok");
    EXPECT_EQ(closed[0].files[1].result, "stopped");
    EXPECT_FALSE(tracker.AnyFailure());
    EXPECT_FALSE(tracker.AllDone()) << "without a limit a run is never done";
    EXPECT_TRUE(tracker.CloseOpenPasses(t0).empty());
    EXPECT_TRUE(tracker.Tallies()[0].stopped);
}

// Passes of every shape, through the engine into the command line's host: the report record and
// the summary carry the engine's verdict (download_link_test and gui_tally_test run the same
// table).
TEST(PassTracker, ReportAndSummaryCarryTheEnginesVerdictOfEveryPassShape) {
    for (const test::PassShape& shape : test::PassShapes()) {
        SCOPED_TRACE(shape.name);
        const test::ScratchDir dir("cli-shapes");
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(
            std::fopen((dir / "view.txt").string().c_str(), "w"), std::fclose);
        ASSERT_TRUE(out);
        const auto view = MakeProgressView(ViewKind::Plain, {1}, out.get());
        PassTracker tracker({1}, 1);
        RunEvents events;
        std::vector<PassRecord> records;
        CliHost host({1}, *view, tracker, nullptr, events,
                     [&records](const PassRecord& record) { records.push_back(record); });
        test::RunPassShape(shape, host, [&host] { host.StopReporting(); });
        for (PassRecord& record : tracker.CloseOpenPasses(std::chrono::system_clock::now())) {
            records.push_back(std::move(record));
        }
        ASSERT_EQ(records.size(), 1u);
        const PortTally tally = tracker.Tallies()[0];
        switch (shape.verdict) {
            case test::PassVerdict::Ok:
                EXPECT_EQ(records[0].outcome, "ok");
                EXPECT_EQ(tally.passesDone, 1);
                EXPECT_EQ(tally.passesFailed, 0);
                EXPECT_FALSE(tracker.AnyFailure());
                break;
            case test::PassVerdict::Failed:
                EXPECT_EQ(records[0].outcome, "failed");
                EXPECT_EQ(tally.passesFailed, 1);
                EXPECT_TRUE(tracker.AnyFailure());
                break;
            case test::PassVerdict::Stopped:
                EXPECT_EQ(records[0].outcome, "stopped");
                EXPECT_EQ(tally.passesDone, 0);
                EXPECT_TRUE(tally.stopped);
                break;
        }
    }
}

TEST(PassReport, WritesParsableLinesAndRefusesAnUnwritablePath) {
    const test::ScratchDir dir("cli-report");
    EXPECT_THROW(PassReport{dir.Path()}, std::runtime_error) << "a directory is no report file";
    EXPECT_THROW(PassReport{dir / "missing" / "r.jsonl"}, std::runtime_error);
#ifndef _WIN32
    // A FIFO would hold the run until someone reads it; a device is no file either.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_THROW(PassReport{dir / "fifo"}, std::runtime_error);
    EXPECT_THROW(PassReport{"/dev/null"}, std::runtime_error);
#endif

    const WallTime start = std::chrono::system_clock::now();
    const PassRecord record{
        .port = 7,
        .pass = 3,
        .start = start,
        .end = start + std::chrono::milliseconds(1500),
        .files = {{"C:\\data\\app.bin", "app.bin", 4097, "ok", ""},
                  {"/data/\xC4\xE3.bin", "\xFF\xFE", -1, "failed", ""}},  // not UTF-8
        .failures = {},
        .outcome = "failed"};
    {
        PassReport report(dir / "r.jsonl");
        EXPECT_EQ(report.Write(record), "");
        EXPECT_EQ(report.Write(record), "");
    }
    EXPECT_EQ(PassReport(dir / "r.jsonl").Write(record), "");  // appends, keeps what was there
#ifndef _WIN32
    {
        // The disk fills up in the middle of a line (a file size limit stands in for it): the
        // part written is taken back, the file keeps whole lines only.
        PassReport report(dir / "r.jsonl");
        const auto whole = std::filesystem::file_size(dir / "r.jsonl");
        rlimit previous{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limited = previous;
        limited.rlim_cur = whole + 100;
        const auto onLimit = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const std::string problem = report.Write(record);
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, onLimit);
        EXPECT_NE(problem, "");
        EXPECT_EQ(std::filesystem::file_size(dir / "r.jsonl"), whole);
    }
#endif

    const std::string text = test::ReadFile(dir / "r.jsonl");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << "one line a record, none blank";
    const std::vector<nlohmann::json> lines = test::JsonLines(text);
    EXPECT_EQ(lines.size(), 3u);
    for (const nlohmann::json& json : lines) {
        EXPECT_EQ(json["port"], 7);
        EXPECT_EQ(json["pass"], 3);
        EXPECT_EQ(json["outcome"], "failed");
        EXPECT_EQ(json["files"][0]["source"], "C:\\data\\app.bin");
        EXPECT_EQ(json["files"][0]["size"], 4097);
        EXPECT_EQ(json["files"][1]["result"], "failed");
        // Local time with milliseconds and offset: 2016-10-30T09:05:07.250+01:00
        const std::string at = json["start"];
        EXPECT_EQ(at.size(), 29u) << at;
        EXPECT_EQ(at[10], 'T');
        EXPECT_EQ(at[26], ':');
    }
}

// nullptr: the system's own zone.
void SetZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone != nullptr ? zone : "");
    _tzset();
#else
    if (zone != nullptr) {
        ::setenv("TZ", zone, 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
#endif
}

// The offset is the zone's own, with half hours and west of Greenwich.
TEST(IsoTime, LocalTimeCarriesItsZonesOffset) {
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved != nullptr ? saved : "";
    const WallTime at =
        std::chrono::system_clock::from_time_t(1477818307) + std::chrono::milliseconds(250);
    SetZone("IST-5:30");
    EXPECT_EQ(IsoLocalTime(at), "2016-10-30T14:35:07.250+05:30");
    SetZone("NST3:30");
    EXPECT_EQ(IsoLocalTime(at), "2016-10-30T05:35:07.250-03:30");
    SetZone("UTC0");
    EXPECT_EQ(IsoLocalTime(at), "2016-10-30T09:05:07.250+00:00");
    SetZone(saved != nullptr ? savedZone.c_str() : nullptr);
}

TEST(LiveView, FitColumnsCountsWideCharactersAndNeverSplitsOne) {
    EXPECT_EQ(FitColumns("COM3 app.bin", 4), "COM3");
    EXPECT_EQ(FitColumns("abc", 10), "abc");
    // "已就绪" is three characters of three bytes, two columns each.
    EXPECT_EQ(FitColumns("[COM1]已就绪", 9), "[COM1]已");
    EXPECT_EQ(FitColumns("[COM1]已就绪", 10), "[COM1]已就");
    EXPECT_EQ(FitColumns("\xE5\xB7", 5), "\xE5\xB7") << "a truncated sequence is kept whole";
    EXPECT_EQ(FitColumns("", 3), "");
}

// Everything a view wrote to a temporary file.
std::string Written(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text.push_back(static_cast<char>(c));
    }
    return text;
}

// A bar that counts bytes (an image of 60 MB) shows its share without overflowing.
TEST(LiveView, LargeBarShowsItsShare) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        LiveView view({1}, file);
        view.Progress(1, {0, 60000000, 30000000});
        view.Finish();
    }
    EXPECT_NE(Written(file).find("[##########..........]  50%"), std::string::npos)
        << Written(file);
    std::fclose(file);
}

// The demo's proof holds every terminal to the whole list: the address file included, which the
// tool sends in every pass. Its received folders are named after the ports (COM1…), names Windows
// keeps for its devices: the demo's terminals, and so this check, run on Linux only.
#ifndef _WIN32
TEST(DemoVerify, EveryTerminalMustHoldTheAddressFile) {
    const DemoWorkspace workspace;
    const std::vector<ExpectedFile> expected = workspace.ExpectedFiles();
    ASSERT_EQ(expected.front().destination, "file.adr");
    std::vector<PassRecord> records;
    for (int unit = 1; unit <= 2; ++unit) {
        PassRecord record{1, unit, {}, {}, {}, {}, "ok"};
        const auto unitDir = workspace.ReceivedDir() / "COM1" / ("unit-" + std::to_string(unit));
        std::filesystem::create_directories(unitDir);
        for (const ExpectedFile& file : expected) {
            record.files.push_back(
                {file.destination, file.destination, std::int64_t(file.content.size()), "ok", ""});
            test::WriteFile(unitDir / file.destination, file.content);
        }
        records.push_back(record);
    }
    EXPECT_TRUE(AllIdentical(VerifyReceived({1}, 2, expected, records, workspace.ReceivedDir())));

    std::filesystem::remove(workspace.ReceivedDir() / "COM1" / "unit-2" / "file.adr");
    const std::vector<VerifyRow> rows =
        VerifyReceived({1}, 2, expected, records, workspace.ReceivedDir());
    EXPECT_FALSE(AllIdentical(rows));
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const VerifyRow& row) {
        return row.unit == 2 && row.destination == "file.adr" && !row.received;
    }));
}
#endif

// The share each port's line shows in the last drawing of `screen`.
std::string LastShare(const std::string& screen, int port) {
    const std::string head = "COM" + std::to_string(port) + " ";
    const std::size_t line = screen.rfind(head);
    const std::size_t bar = line == std::string::npos ? line : screen.find("] ", line);
    return bar == std::string::npos ? "none" : screen.substr(bar + 2, 4);
}

// A file's bar ends full in the engine whatever became of the file: a stopped or failed file's
// line shows the blocks that went, a file on the terminal (blue) a full bar, and a bar that counts
// in bytes its last move.
TEST(LiveView, BarShowsWhatWasSentNotTheFullBarOfAFileThatEndedEarly) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        LiveView view({1, 2, 3, 4}, file);
        for (const int port : {1, 2, 3}) {
            view.Progress(port, {0, 10, 0});
            view.Status(port, "[COMn]DownLoad..  a.bin(1K/40K)", StatusColour::Black);
            for (int block = 1; block <= (port == 2 ? 10 : 3); ++block) {
                view.Progress(port, {0, 10, block});
            }
        }
        view.Status(2, "[[COM2]]a.bin...OK", StatusColour::Blue);
        view.Status(3, "[COM3] File read error4", StatusColour::Red);
        view.Progress(3, {0, 10, 0});
        // A stop after three blocks, the end of the failed file, and of one that went whole.
        for (const int port : {1, 2, 3}) {
            view.Progress(port, {0, 10, 10});
        }
        view.Progress(4, {0, 60000, 0});
        view.Progress(4, {0, 60000, 30000});
        view.Progress(4, {0, 60000, 60000});
        view.Finish();
    }
    const std::string screen = Written(file);
    EXPECT_EQ(LastShare(screen, 1), " 30%") << screen;
    EXPECT_EQ(LastShare(screen, 2), "100%") << screen;
    EXPECT_EQ(LastShare(screen, 3), "  0%") << screen;
    EXPECT_EQ(LastShare(screen, 4), "100%") << screen;
    std::fclose(file);
}

TEST(LineViews, PlainThrottlesProgressButNeverFailuresAndShowsTheLastTextAtTheEnd) {
    std::FILE* out = std::tmpfile();
    {
        PlainView view(out);
        view.Status(3, "[COM3]app.bin...", StatusColour::Black);
        view.Status(3, "[COM3]DownLoad..  app.bin(5K/120K)", StatusColour::Black);
        view.Status(3, "[COM3]DownLoad..  app.bin(9K/120K)", std::nullopt);
        view.Status(4, "[COM4]File open failed", StatusColour::Red);
        view.Status(3, "[COM3] File read error4", StatusColour::Red);
        view.Status(3, "[COM3]DownLoad..  app.bin(13K/120K)", StatusColour::Black);
        view.Finish();
    }
    EXPECT_EQ(Written(out),
              "COM3 [COM3]app.bin...\n"
              "COM4 [COM4]File open failed\n"
              "COM3 [COM3] File read error4\n"
              "COM3 [COM3]DownLoad..  app.bin(13K/120K)\n");
    std::fclose(out);
}

TEST(LineViews, JsonKeepsTheColourInForceAndCarriesProgress) {
    std::FILE* out = std::tmpfile();
    JsonView view(out);
    view.Status(5, "[COM5]File open failed", StatusColour::Red);
    view.Progress(5, ProgressState{0, 30, 12});
    view.Status(5, "[COM5]File open failed again", std::nullopt);
    const std::vector<nlohmann::json> lines = test::JsonLines(Written(out));
    ASSERT_GE(lines.size(), 2u);
    const nlohmann::json& a = lines[0];
    const nlohmann::json& b = lines[1];
    EXPECT_EQ(a["colour"], "red");
    EXPECT_FALSE(a.contains("position"));
    EXPECT_EQ(b["colour"], "red") << "no colour given keeps the one in force";
    EXPECT_EQ(b["position"], 12);
    EXPECT_EQ(b["maximum"], 30);
    EXPECT_EQ(b["port"], 5);
    std::fclose(out);
}

}  // namespace
}  // namespace termload::cli
