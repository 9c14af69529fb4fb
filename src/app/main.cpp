// termload: the desktop program.
#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "app/termload_application.h"
#include "termload_version.h"

int main(int argc, char** argv) {
    // Answered before Qt starts, so that it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("termload %s\n", TERMLOAD_VERSION);
        return 0;
    }
    termload::TermloadApplication application(argc, argv);
    termload::TfrmMain window;
    window.show();
    return application.exec();
}
