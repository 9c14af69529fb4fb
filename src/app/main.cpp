// termload: the desktop program.
#include "app/main_window.h"
#include "app/termload_application.h"

int main(int argc, char** argv) {
    termload::TermloadApplication application(argc, argv);
    termload::TfrmMain window;
    window.show();
    return application.exec();
}
