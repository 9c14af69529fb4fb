// Runs the window tests offscreen, with a private per-user store and an empty port table, so
// that no test can reach the user's settings or a real serial port.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "channels/port_map.h"
#include "gui_test_support.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const termload::test::TempDir home;
    setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    termload::SetPortMapFile(home.Write("no-ports.ini", "[Ports]\n"));

    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
