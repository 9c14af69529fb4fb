#include "support/pass_shapes.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "config/string_table.h"
#include "engine/download_controller.h"
#include "engine/port_slot_table.h"
#include "support/download_workspace.h"

namespace termload::test {
namespace {

using namespace std::chrono_literals;

// Passes every report on to the host under test and tells when the run has ended.
class EndWatch final : public HostSink {
  public:
    explicit EndWatch(HostSink& host) : host_(host) {}

    void SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) override {
        host_.SetStatus(slot, text, colour);
    }
    void SetProgress(int slot, const ProgressState& progress) override {
        host_.SetProgress(slot, progress);
    }
    void ShowConsoleText(const std::string& text) override { host_.ShowConsoleText(text); }
    void ClearConsoleText() override { host_.ClearConsoleText(); }
    void ShowError(int slot, const std::string& text,
                   std::shared_ptr<ErrorAnswer> answer) override {
        host_.ShowError(slot, text, std::move(answer));
    }
    void RunEnded(int slot) override {
        host_.RunEnded(slot);
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    void PassStarted(int slot, int pass) override { host_.PassStarted(slot, pass); }
    void FileFinished(const FileReport& file) override { host_.FileFinished(file); }
    void PassFinished(int slot, int pass, bool ok) override { host_.PassFinished(slot, pass, ok); }
    void PassFailed(const PassFailureReport& failure) override { host_.PassFailed(failure); }

    bool WaitForEnd() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [this] { return ended_; });
    }

  private:
    HostSink& host_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
};

using Step = PassShape::Step;

// Name, M868, USB-HID, what the link does, the verdict.
const std::vector<PassShape> kShapes = {
    {"all files ok", false, false, {}, PassVerdict::Ok},
    {"M868, the address file and every file ok", true, false, {}, PassVerdict::Ok},
    {"M868, the address file's report refused on USB-HID",
     true,
     true,
     {{LinkCall::Write, 1, LinkAction::Fail, FailureCause::Transport}},
     PassVerdict::Failed},
    {"M868, the address frame timed out on serial and went again",
     true,
     false,
     {{LinkCall::Write, 2, LinkAction::Fail, FailureCause::TimeOut}},
     PassVerdict::Failed},
    {"a file given up on USB-HID",
     false,
     true,
     {{LinkCall::Write, 3, LinkAction::Fail, FailureCause::Transport}},
     PassVerdict::Failed},
    {"stopped in a frame",
     false,
     false,
     {{LinkCall::Write, 3, LinkAction::Stop, FailureCause::TimeOut}},
     PassVerdict::Stopped},
};

}  // namespace

std::span<const PassShape> PassShapes() {
    return kShapes;
}

void RunPassShape(const PassShape& shape, HostSink& host, const std::function<void()>& ended) {
    download_test::Workspace ws;
    ws.config.settings.langBase = kLangEnglish;
    ws.options.timings = Timings::Scaled(0);
    ws.options.portTable = PortTable{};
    ws.options.passLimit = 1;
    ws.AddFile("a.bin", 5000, 1);
    ws.AddFile("b.bin", 3 * 4096, 2);
    if (shape.m868) {
        ws.config.controls.modelItems = {"M868"};
    }
    ScriptedLinks links;
    if (shape.usbHid) {
        ws.config.controls.portMode = PortMode::UsbHid;
        links.failureDigit = '2';
        links.recovery = FrameRecovery::GiveUpFile;
    }
    for (const Step& step : shape.steps) {
        links.At(step.call, step.nth, step.action, step.cause);
    }
    const StartCheck check = CheckStart(ws.config, ws.options);
    ASSERT_TRUE(check.job) << shape.name;

    EndWatch watch(host);
    PortSlotTable table(watch);
    DownloadController controller(table, links.Factory());
    ASSERT_TRUE(controller.Start(check.job));
    EXPECT_TRUE(watch.WaitForEnd()) << shape.name;
    if (ended) {
        ended();
    }
    controller.Stop();
}

}  // namespace termload::test
