// Saves pictures of the window for the documentation: idle, in Chinese and English, single-port
// and 27-port; and 27 ports in the middle of a run with their tallies, in both languages:
// gui_screenshots OUTPUT_DIR
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/prompt.h"
#include "channels/port_map.h"
#include "config/string_table.h"
#include "config/user_store.h"
#include "engine/download_texts.h"
#include "engine/file_frame.h"
#include "engine/host_sink.h"
#include "engine/slot_status.h"

namespace {

// A sample configuration of a production line: three models and four files (a run sends the
// first three: this build does not send BIOS files).
std::string SampleConfig(bool english, bool forRun) {
    return std::string("[ModeList]\n00=M740-32\n01=M868\n05=M862PCX\n[Config]\nLanguage=") +
           (english ? "1" : "0") +
           "\nMachMode=0\nHardVersion=10\nPortNum=2\nDegugMode=1\n[History]\nRecentCount=" +
           (forRun ? "3" : "4") +
           "\nRecent0=1;app.bin;app.bin\nRecent1=2;param.ini;param.ini\n"
           "Recent2=2;logo.bmp;logo.bmp\nRecent3=3;bios.bin;bios.bin\n";
}

void ProcessEventsFor(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// A shift under way on 27 ports, reported as download threads report, in the engine's own texts:
// each port has served a few terminals and shows the file it is on; COM8 has failed its last
// three.
void ReportShift(termload::HostSink& host, bool english) {
    using termload::StatusColour;
    const char* files[] = {"app.bin", "param.ini", "logo.bmp"};
    // A 120 KiB file: the bar counts its frames' blocks.
    constexpr int kBlocks = static_cast<int>(120 * 1024 / termload::FileFrame::kBlockSize);
    const int langBase = english ? termload::kLangEnglish : termload::kLangChinese;
    for (int slot = 0; slot < 27; ++slot) {
        const std::string prefix = termload::StatusPrefix(slot + 1);
        const std::string failure = termload::FrameFailureText(prefix, langBase, '4');
        int pass = 1;
        const auto finish = [&](bool ok) {
            host.PassStarted(slot, pass);
            if (!ok) {
                host.SetStatus(slot, failure, StatusColour::Red);
            }
            host.PassFinished(slot, pass++, ok);
        };
        const int done = 3 + (slot * 7) % 9;
        for (int i = 0; i < done; ++i) {
            finish(true);
        }
        if (slot == 7) {
            finish(false);
            finish(false);
            finish(false);
        } else if (slot % 5 == 2) {
            finish(false);
            finish(true);
        }
        host.PassStarted(slot, pass);
        const int file = slot % 3;
        const int block = (slot * 11) % kBlocks;
        if (slot == 7) {
            host.SetStatus(slot, failure, StatusColour::Red);
        } else if (slot % 6 == 5) {
            host.SetStatus(slot, termload::FileOkText(prefix, files[file]), StatusColour::Blue);
            host.SetProgress(slot, {0, kBlocks, kBlocks});
        } else {
            host.SetStatus(slot,
                           termload::BlockProgressText(
                               prefix, langBase, files[file],
                               std::uint64_t{termload::FileFrame::kBlockSize} * block,
                               std::uint64_t{termload::FileFrame::kBlockSize} * kBlocks),
                           StatusColour::Black);
            host.SetProgress(slot, {0, kBlocks, block});
        }
    }
}

bool Shoot(const std::filesystem::path& workDir, const std::filesystem::path& picture, bool english,
           bool multiPort, bool midRun) {
    std::filesystem::create_directories(workDir);
    const auto config = workDir / "Config.ini";
    std::ofstream(config) << SampleConfig(english, midRun);
    for (const char* source : {"app.bin", "param.ini", "logo.bmp", "bios.bin"}) {
        std::ofstream(workDir / source) << "sample";
    }
    termload::WindowPlaces places;
    places.appDir = workDir;
    places.userStore = workDir / "store.ini";
    termload::WriteLastConfiguration({config.string(), workDir.string()}, places.userStore);

    termload::MainWindow window(places);
    window.show();
    QCoreApplication::processEvents();
    if (multiPort) {
        window.findChild<QRadioButton*>("rbMulti")->click();
    }
    if (midRun) {
        // The run's threads find no serial port here and fall silent; the shift's reports then
        // go through the window's host sink as a download thread's would.
        window.ToggleDownload();
        ProcessEventsFor(500);
        window.findChild<QAction*>("TallyResetAll")->trigger();
        ReportShift(window.Host(), english);
        ProcessEventsFor(100);
    }
    window.RefreshClockCaption();
    QCoreApplication::processEvents();
    const bool saved = window.grab().save(QString::fromStdString(picture.string()));
    if (window.IsDownloading()) {
        window.StopDownload();
    }
    window.hide();
    std::filesystem::remove_all(workDir);
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gui_screenshots OUTPUT_DIR\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::filesystem::path out = argv[1];
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("termload-shots-" + std::to_string(getpid()));
    setenv("XDG_CONFIG_HOME", work.c_str(), 1);
    std::filesystem::create_directories(work);
    std::ofstream(work / "ports.ini") << "[Ports]\n";
    termload::SetPortMapFile(work / "ports.ini");  // the pictures never touch a serial port
    QApplication application(argc, argv);

    std::filesystem::create_directories(out);
    bool ok = true;
    // A box the run would raise is answered, never left waiting for a click.
    termload::SetPromptHook([](const termload::PromptRequest& box) {
        std::fprintf(stderr, "box: %s\n", box.text.toUtf8().constData());
        return true;
    });
    for (const bool english : {false, true}) {
        for (const bool multi : {false, true}) {
            const std::string name = std::string("window-") + (english ? "en" : "zh") + "-" +
                                     (multi ? "27-port" : "single-port") + ".png";
            ok = Shoot(work / "run", out / name, english, multi, false) && ok;
            std::printf("%s\n", (out / name).c_str());
        }
        const std::string name =
            std::string("window-") + (english ? "en" : "zh") + "-27-port-tally.png";
        ok = Shoot(work / "run", out / name, english, true, true) && ok;
        std::printf("%s\n", (out / name).c_str());
    }
    std::filesystem::remove_all(work);
    return ok ? 0 : 1;
}
