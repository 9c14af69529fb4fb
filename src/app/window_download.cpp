#include "app/window_download.h"

namespace termload {
namespace {

// Marks the start or stop under way for as long as it lives.
class BusyScope {
  public:
    explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& busy_;
};

}  // namespace

WindowDownload::WindowDownload(HostSink& sink, LinkFactory makeLink)
    : slots_(sink), controller_(slots_, std::move(makeLink)) {}

WindowDownload::~WindowDownload() = default;

bool WindowDownload::Start(const std::shared_ptr<const DownloadJob>& job) {
    const BusyScope busy(busy_);
    return controller_.Start(job);
}

void WindowDownload::Stop() {
    const BusyScope busy(busy_);
    controller_.Stop();
}

}  // namespace termload
