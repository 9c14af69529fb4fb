// TfrmMain: starting and stopping a download, and the message pump of the engine's waits.
#include <QPushButton>

#include "app/main_window.h"
#include "app/window_download.h"
#include "ui_main_window.h"

namespace termload {

bool TfrmMain::IsDownloading() const {
    return false;
}

void TfrmMain::btnDownClick() {}

void TfrmMain::StopLoad() {
    download_->StopAll();
}

}  // namespace termload
