#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/download_job.h"

namespace termload {

class PortSlot;

// What the threads of one run share: the job, the count of threads still running and, when the
// clock file is sent, a private temporary directory for it (made here, removed with the run, so
// that it neither collides with another run nor lingers).
class DownloadRun {
  public:
    DownloadRun(std::shared_ptr<const DownloadJob> job, int threads);
    ~DownloadRun();
    DownloadRun(const DownloadRun&) = delete;
    DownloadRun& operator=(const DownloadRun&) = delete;

    // Where the clock file is written; empty when the directory could not be made (every write
    // of the clock file then fails, visibly).
    std::filesystem::path TimerFile() const;

    const DownloadJob& Job() const { return *job_; }

    // Set by the controller before it stops the slots: threads that end then leave the run's end
    // to the stop and do not report it.
    void MarkStopping() { stopping_ = true; }
    bool Stopping() const { return stopping_; }

    // Called once by every thread as it ends; true for the last one.
    bool ThreadEnded() { return threadsLeft_.fetch_sub(1) == 1; }
    // True while a thread of the run has not ended yet (one that reported the run's end has).
    bool ThreadsRunning() const { return threadsLeft_.load() > 0; }

  private:
    std::shared_ptr<const DownloadJob> job_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> threadsLeft_;
    std::filesystem::path timerDir_;
};

// The production loop of one slot: pass after pass of the job's file list into terminal after
// terminal, until the slot's stop request (or the job's pass limit). Runs on the slot's thread.
//
// How the run's end reaches the host (HostSink::RunEnded):
// - a thread that sees its stop request without the controller stopping the run (an error that
//   stopped it, or a stop of that one slot) reports it, as the host must then stop the download;
// - with a pass limit, the last thread of the run to end reports it; threads that end earlier
//   report nothing.
//
// A pass ends early, failed, when the device hung up or the terminal kept stalling; the next pass
// starts again from the first file (the address file included), as a different terminal may be
// on the port now. A port that cannot be opened fails its pass, keeps its red text and is tried
// again every second; the next pass begins once it opens.
void DownloadThread(PortSlot& slot, DownloadRun& run);

}  // namespace termload
