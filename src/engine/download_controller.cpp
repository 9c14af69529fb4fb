#include "engine/download_controller.h"

#include "engine/message_pump.h"
#include "engine/port_slot_table.h"
#include "engine/slot_channel.h"

namespace termload {

DownloadController::DownloadController(PortSlotTable& table, LinkFactory makeLink)
    : table_(table), makeLink_(std::move(makeLink)) {}

DownloadController::~DownloadController() {
    Stop();
    // Joins a thread that stopped the run from within itself.
    table_.Reset(nullptr);
}

bool DownloadController::Start(const std::shared_ptr<const DownloadJob>& job) {
    if (!job || job->portCount < 1 || job->portCount > PortSlotTable::kSlotCount) {
        return false;
    }
    DownloadRun* run = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (running_ || cancelled_) {
            return false;
        }
        startStop_.Clear();
        // Joins what is left of the last run before its state goes.
        table_.Reset(job, makeLink_);
        run_ = std::make_unique<DownloadRun>(job, job->portCount);
        run = run_.get();
        running_ = true;
        fineTimer_.emplace();
    }

    const bool multi = job->portMode == PortMode::Multi;
    const int filled = multi ? PortSlotTable::kSlotCount : 1;
    const std::vector<int> ports = job->Ports();
    for (int index = 0; index < filled; ++index) {
        table_[index].Fill(multi ? index + 1 : ports.front());
    }

    int started = 0;
    for (int index = 0; index < job->portCount; ++index) {
        // The gap lets a window handle its events, a stop among them.
        if (run->Stopping()) {
            break;
        }
        PortSlot& slot = table_[index];
        if (slot.StartThread([&slot, run] { DownloadThread(slot, *run); })) {
            ++started;
            if (run->Stopping()) {
                slot.RequestStop();  // a stop from another thread may have swept past it
            }
        } else {
            run->ThreadEnded();
        }
        if (index + 1 < job->portCount) {
            DelayWithMessages(job->timings.threadStartGapMs, startStop_);
        }
    }
    if (started == 0) {
        const std::lock_guard lock(mutex_);
        running_ = false;
        fineTimer_.reset();
        return false;
    }
    return true;
}

void DownloadController::Stop() {
    int underWay = 0;
    {
        const std::lock_guard lock(mutex_);
        if (!run_) {
            return;  // nothing was ever started: no slot to show ready
        }
        run_->MarkStopping();
        // A run that ended by itself (its thread has reported the end) is not under way any more:
        // its links have nothing to hear.
        if (running_ && run_->ThreadsRunning()) {
            underWay = run_->Job().portCount;
        }
        running_ = false;
    }
    for (int index = 0; index < underWay; ++index) {
        PortSlot& slot = table_[index];
        if (slot.HasThread()) {
            // The slot stops first, so that nothing its thread sends follows what the link tells
            // the terminal.
            slot.RequestStop();
            slot.Link().OperatorStopped();
        }
    }
    startStop_.Request();
    SlotStopAll(table_);
    const std::lock_guard lock(mutex_);
    fineTimer_.reset();
}

void DownloadController::Cancel() {
    int count = 0;
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (run_) {
            run_->MarkStopping();
            count = run_->Job().portCount;
        }
    }
    startStop_.Request();
    // A slot being started meanwhile clears its stop; Start raises it again, as the run is marked.
    for (int index = 0; index < count; ++index) {
        table_[index].RequestStop();
    }
}

bool DownloadController::Running() const {
    const std::lock_guard lock(mutex_);
    return running_;
}

bool DownloadController::FineTimerHeld() const {
    const std::lock_guard lock(mutex_);
    return fineTimer_ && fineTimer_->Held();
}

}  // namespace termload
