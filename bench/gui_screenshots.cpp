// Saves pictures of the idle window, in Chinese and English, single-port and 27-port, for the
// documentation: gui_screenshots OUTPUT_DIR
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QRadioButton>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "channels/port_map.h"
#include "config/user_store.h"

namespace {

// A sample configuration of a production line: three models and four files.
std::string SampleConfig(bool english) {
    return std::string("[ModeList]\n00=M740-32\n01=M868\n05=M862PCX\n[Config]\nLanguage=") +
           (english ? "1" : "0") +
           "\nMachMode=0\nHardVersion=10\nPortNum=2\nDegugMode=1\n[History]\nRecentCount=4\n"
           "Recent0=1;app.bin;app.bin\nRecent1=2;param.ini;param.ini\nRecent2=2;logo.bmp;logo.bmp\n"
           "Recent3=3;bios.bin;bios.bin\n";
}

bool Shoot(const std::filesystem::path& workDir, const std::filesystem::path& picture, bool english,
           bool multiPort) {
    std::filesystem::create_directories(workDir);
    const auto config = workDir / "Config.ini";
    std::ofstream(config) << SampleConfig(english);
    termload::WindowPlaces places;
    places.appDir = workDir;
    places.userStore = workDir / "store.ini";
    termload::WriteLastConfiguration({config.string(), workDir.string()}, places.userStore);

    termload::TfrmMain window(places);
    window.show();
    QCoreApplication::processEvents();
    if (multiPort) {
        window.findChild<QRadioButton*>("rbMulti")->click();
    }
    window.TimerTimer();
    QCoreApplication::processEvents();
    const bool saved = window.grab().save(QString::fromStdString(picture.string()));
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
    for (const bool english : {false, true}) {
        for (const bool multi : {false, true}) {
            const std::string name = std::string("window-") + (english ? "en" : "zh") + "-" +
                                     (multi ? "27-port" : "single-port") + ".png";
            ok = Shoot(work / "run", out / name, english, multi) && ok;
            std::printf("%s\n", (out / name).c_str());
        }
    }
    std::filesystem::remove_all(work);
    return ok ? 0 : 1;
}
