#include "support/scripted_link.h"

#include <algorithm>
#include <cstring>

#include "channels/channel_library.h"
#include "engine/download_job.h"
#include "engine/file_frame.h"

namespace termload::test {

class ScriptedLink final : public SlotLink, public ConsoleLink {
  public:
    ScriptedLink(const LinkContext& slot, ScriptedLinks& script) : slot_(slot), script_(script) {}

    char FailureDigit() const override { return script_.failureDigit; }
    FrameRecovery Recovery() const override { return script_.recovery; }

    bool Open(LinkMode mode) override {
        const auto step = script_.Count(LinkCall::Open);
        const bool fails = Act(step);
        const bool opened = OpenChannel(slot_, mode, [&](const ReceiveCallback&) {
            // A handle no channel library hands out: nothing but the slot compares it.
            return fails ? ChannelHandle{0} : ChannelHandle{0x5C000 + slot_.slotIndex};
        });
        script_.Record(opened ? "open" : "open failed");
        return opened;
    }

    ConsoleLink* Console() override { return this; }

    void Close() override {
        const std::lock_guard lock(mutex_);
        if (slot_.channel.exchange(0) != 0) {
            script_.Record("close");
            closed_.notify_all();
        }
    }

    ChannelResult Write(std::span<const std::uint8_t> bytes) override {
        const auto step = script_.Count(LinkCall::Write);
        lastCause_ = step ? step->cause : FailureCause::HangUp;
        if (Act(step) || slot_.channel == 0) {
            return ChannelResult::Failed;
        }
        script_.RecordBytes(bytes);
        if (script_.onWrite) {
            script_.onWrite(bytes);
        }
        return ChannelResult::Done;
    }

    ChannelResult Read(std::span<std::uint8_t>, std::uint32_t, std::size_t& got) override {
        got = 0;
        const bool fails = Act(script_.Count(LinkCall::Read)) || slot_.channel == 0;
        script_.Record(fails ? "read failed" : "read");
        return fails ? ChannelResult::Failed : ChannelResult::Timeout;
    }

    void Purge() override {
        Act(script_.Count(LinkCall::Purge));
        script_.Record("purge");
    }

    std::optional<FailureCause> SendFrame(const FileFrame& frame) override {
        const char* name =
            reinterpret_cast<const char*>(frame.bytes.data() + FileFrame::kDestination);
        const std::string entry = "frame " +
                                  std::string(name, strnlen(name, FileFrame::kDestinationSize)) +
                                  "/" + std::to_string(frame.bytes[FileFrame::kBlockNumber]);
        const std::span<const std::uint8_t> wire(frame.bytes);
        const std::size_t half = wire.size() / 2;
        for (const auto piece : {wire.first(half), wire.subspan(half)}) {
            if (slot_.stop.IsRequested()) {
                script_.Record(entry + " cut short");
                return std::nullopt;
            }
            if (Write(piece) != ChannelResult::Done) {
                script_.Record(entry + (slot_.stop.IsRequested() ? " cut short" : " failed"));
                return lastCause_;
            }
        }
        script_.Record(entry);
        return std::nullopt;
    }

    std::optional<FailureCause> Drain() override {
        const auto step = script_.Count(LinkCall::Drain);
        if (Act(step) || slot_.channel == 0) {
            script_.Record("drain failed");
            return step ? step->cause : FailureCause::HangUp;
        }
        script_.Record("drain");
        return std::nullopt;
    }

    bool SendConsoleBytes(std::span<const std::uint8_t> bytes) override {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (Write(bytes.subspan(i, 1)) != ChannelResult::Done) {
                return false;
            }
        }
        return true;
    }

    std::optional<std::string> ExchangeVersion(std::span<const std::uint8_t> request) override {
        if (Write(request) != ChannelResult::Done) {
            return std::nullopt;
        }
        std::size_t got = 0;
        Read({}, 0, got);
        return std::string{};
    }

  private:
    // Carries out the step; true when the call is to fail.
    bool Act(const std::optional<ScriptedLinks::Step>& step) {
        if (!step) {
            return false;
        }
        switch (step->action) {
            case LinkAction::Fail:
            case LinkAction::Vanish:
                return true;
            case LinkAction::Stop:
                slot_.stop.Request();
                return false;
            case LinkAction::Hold:
                Hold();
                return true;
        }
        return false;
    }

    // Like a port whose terminal takes nothing: only a close ends the wait (bounded, so that
    // an engine that never closes fails the test instead of hanging it).
    void Hold() {
        script_.SetHeld(true);
        std::unique_lock lock(mutex_);
        closed_.wait_for(lock, std::chrono::seconds(30), [this] { return slot_.channel == 0; });
        script_.SetHeld(false);
    }

    const LinkContext slot_;
    ScriptedLinks& script_;
    FailureCause lastCause_ = FailureCause::HangUp;
    std::mutex mutex_;
    std::condition_variable closed_;
};

void ScriptedLinks::At(LinkCall call, int nth, LinkAction action, FailureCause cause) {
    const std::lock_guard lock(mutex_);
    steps_.push_back({call, nth, action, cause});
}

LinkFactory ScriptedLinks::Factory() {
    return [this](const LinkContext& slot, const DownloadJob&) -> std::unique_ptr<SlotLink> {
        return std::make_unique<ScriptedLink>(slot, *this);
    };
}

std::optional<ScriptedLinks::Step> ScriptedLinks::Count(LinkCall call) {
    const std::lock_guard lock(mutex_);
    const int nth = ++counts_[static_cast<int>(call)];
    if (vanished_) {
        return Step{call, nth, LinkAction::Vanish, FailureCause::HangUp};
    }
    for (const Step& step : steps_) {
        if (step.call == call && step.nth == nth) {
            vanished_ = step.action == LinkAction::Vanish;
            return step;
        }
    }
    return std::nullopt;
}

void ScriptedLinks::Record(std::string entry) {
    const std::lock_guard lock(mutex_);
    log_.push_back(std::move(entry));
}

void ScriptedLinks::RecordBytes(std::span<const std::uint8_t> bytes) {
    const std::lock_guard lock(mutex_);
    written_.append(bytes.begin(), bytes.end());
}

void ScriptedLinks::SetHeld(bool held) {
    {
        const std::lock_guard lock(mutex_);
        held_ = held;
    }
    changed_.notify_all();
}

std::vector<std::string> ScriptedLinks::Log() const {
    const std::lock_guard lock(mutex_);
    return log_;
}

std::string ScriptedLinks::Written() const {
    const std::lock_guard lock(mutex_);
    return written_;
}

bool ScriptedLinks::WaitUntilHeld(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return held_; });
}

}  // namespace termload::test
