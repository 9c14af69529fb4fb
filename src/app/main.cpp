// termload: the desktop program.
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/main_window.h"
#include "app/parent_console.h"
#include "app/termload_application.h"
#include "app/window_report.h"
#include "termload_version.h"

int main(int argc, char** argv) {
    // Answered before Qt starts, so that it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        termload::UseParentConsole();
        std::printf("termload %s\n", TERMLOAD_VERSION);
        return 0;
    }
    termload::TermloadApplication application(argc, argv);
    termload::MainWindow window;
    window.show();
    std::unique_ptr<termload::WindowReport> report;
    if (const QString path = termload::WindowReport::PathFromEnvironment(); !path.isEmpty()) {
        report = std::make_unique<termload::WindowReport>(&window, path);
    }
    return application.exec();
}
