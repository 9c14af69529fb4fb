// Runs the window tests offscreen, with a private per-user store and an empty port table, so
// that no test can reach the user's settings or a real serial port.
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <fstream>

#include "channels/port_map.h"
#include "gui_test_support.h"

// Qt is not built with ThreadSanitizer: the locks and atomics inside it (its thread pool, the event
// queue, the font and glyph caches) are invisible to the tool, which then reports the memory they
// hand between threads. Races with a frame in Qt are left out; the program's own code is not.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so.6\n"
           "race:libQt6Gui.so.6\n"
           "race:libQt6Widgets.so.6\n"
           "race:libqoffscreen.so\n";
}

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The per-user store: XDG_CONFIG_HOME on Linux, APPDATA on Windows.
    const termload::test::TempDir home;
    const QByteArray store = QByteArray::fromStdString(home.Path().string());
    qputenv("XDG_CONFIG_HOME", store);
    qputenv("APPDATA", store);
    termload::SetPortMapFile(home.Write("no-ports.ini", "[Ports]\n"));

    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
