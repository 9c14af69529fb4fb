// The port slots: one record per port of a download (27 at most), holding what that port's
// download thread needs and what the rest of the program must see of it.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "channels/serial_channel.h"
#include "engine/host_sink.h"
#include "engine/link.h"
#include "engine/slot_channel.h"
#include "engine/slot_events.h"
#include "engine/stop_signal.h"
#include "engine/timings.h"

namespace termload {

class PortSlotTable;
struct DownloadJob;

// "[COM" + port number + "]": the prefix of a slot's status texts (port 0 for USB-HID and CCID).
std::string StatusPrefix(int portNumber);

// 0 for "M862PA", "M862PB", "M862PC" and "M862PCX"; 1 for "M868"; 2 for any other name. Exact,
// case-sensitive comparison.
inline constexpr int kModelClassM862 = 0;
inline constexpr int kModelClassM868 = 1;
inline constexpr int kModelClassOther = 2;
int ModelClass(std::string_view modelName);

// The slot's model-name field holds 30 bytes including a terminating zero, counted in GBK: a start
// with a longer model is refused.
inline constexpr std::size_t kModelNameFieldSize = 30;
bool ModelNameFits(std::string_view modelName);

// What the console is watched for while a USB-pipe image goes.
enum class ChecksumWatch {
    Idle,       // nothing watched
    Watching,   // a USB-pipe image transfer is watched
    ErrorSeen,  // the terminal has printed "Checksum Error" since
};

// Console text received from the terminal since it was last cleared. Written by the port's reader
// thread, read and cleared by the download thread; guarded by its own lock.
class ReceiveText {
  public:
    static constexpr std::size_t kCapacity = 4096;
    // A chunk that would take the text past this many bytes first drops the older half of it.
    static constexpr std::size_t kHalvingThreshold = 2048;

    // Appends a chunk (older text is dropped as above; the text never exceeds kCapacity - 1
    // bytes, whatever the chunk's size) and returns the text as it now stands.
    std::string Append(const char* bytes, std::size_t count);
    void Clear();
    std::string Text() const;
    std::size_t Length() const;

  private:
    mutable std::mutex mutex_;
    std::array<char, kCapacity> text_{};
    std::size_t length_ = 0;
};

class PortSlot {
  public:
    PortSlot() = default;
    PortSlot(const PortSlot&) = delete;
    PortSlot& operator=(const PortSlot&) = delete;

    // Written by the controller before the slot's thread starts, fixed afterwards; the rest of
    // the run's data is the table's job.
    int portNumber = 0;  // COMn; 0 for USB-HID and USB-CCID

    // Gives the slot its port and attaches its status to the host.
    void Fill(int port);

    // The slot's link to its terminal, made for the run when the table was reset.
    SlotLink& Link() const { return *link_; }

    // Flags shared with the stop handling.
    StopSignal stop;                          // the stop request
    std::atomic<bool> transferCancel{false};  // asks a running YMODEM transfer to cancel
    std::atomic<bool> threadEnded{false};

    // The slot's channel, 0 when none. The link opens and closes it; never store or close it
    // directly, because SlotStopAll may close it at the same moment.
    std::atomic<ChannelHandle> channel{0};

    // Raises the stop request and TransferCancel; an open of the channel already under way ends
    // (and its handle is in `channel`) before this returns, and no open starts afterwards.
    void RequestStop();
    // Runs `open` and stores its handle in `channel`, unless the stop is requested; 0 then.
    ChannelHandle OpenUnlessStopped(const std::function<ChannelHandle()>& open);

    // Console mode only: the receive and abort events and the text that came in.
    SlotEvents events;
    ReceiveText received;

    // Status text, colour and progress as the host shows them.
    SlotStatus status;

    // On the host's thread: starts the slot's download thread (joining one left on the slot
    // first). The stop request and TransferCancel are cleared and
    // thread-ended is set to 0 before the thread runs, so a stop that comes at once is not lost.
    // `body` runs with the slot's stop as the thread's WorkerStopScope; an exception that escapes
    // it stops the slot. The thread ends when `body` returns, and is joined by SlotStopAll (or by
    // the next Reset of the table). False when the thread could not be started.
    bool StartThread(std::function<void()> body);
    bool HasThread() const { return thread_.joinable(); }  // the host's thread only

    int Index() const { return index_; }
    PortSlotTable& Table() const { return *table_; }

  private:
    friend class PortSlotTable;

    void Reset();       // job data, flags and texts to zero; the thread must have been joined
    void JoinThread();  // no effect when called on the slot's own thread

    int index_ = 0;
    PortSlotTable* table_ = nullptr;
    std::unique_ptr<SlotLink> link_;
    std::thread thread_;
    std::mutex openMutex_;  // a stop request waits out an open that has begun
};

// The slot whose download thread is calling, or null on any other thread.
PortSlot* CurrentSlot();

// Waits on the slot's (receive, abort) event pair for up to `timeoutMs`. A stop request of the
// slot ends the wait as Aborted, even when it was raised before the events were created.
EventWait WaitReceiveOrAbort(PortSlot& slot, std::uint32_t timeoutMs);

// Shows an error for the slot's download thread (the text followed by four blanks) and waits
// until the operator acknowledges it or the slot is stopped; true when acknowledged.
bool ShowError(PortSlot& slot, std::string_view text);

// The 27 slots of the process, with the job of the current run.
class PortSlotTable {
  public:
    static constexpr int kSlotCount = 27;

    explicit PortSlotTable(HostSink& sink);
    ~PortSlotTable();  // stops every slot and joins every thread
    PortSlotTable(const PortSlotTable&) = delete;
    PortSlotTable& operator=(const PortSlotTable&) = delete;

    // Before a start, on the host's thread: stops and joins whatever is left of the last run
    // (a thread that ended the run itself is joined here), then sets every slot to zero, takes
    // the run's job (null: no run, the defaults) and gives every slot the link `makeLink` makes
    // for it.
    void Reset(std::shared_ptr<const DownloadJob> job, const LinkFactory& makeLink = MakeLink);

    PortSlot& operator[](int index) { return slots_.at(static_cast<std::size_t>(index)); }
    const PortSlot& operator[](int index) const {
        return slots_.at(static_cast<std::size_t>(index));
    }

    // The run's job, the one copy of its settings: every slot's thread reads it.
    const DownloadJob& Job() const { return *job_; }
    const Timings& Time() const;
    HostSink& Sink() const { return sink_; }

    std::atomic<ChecksumWatch> checksumWatch{ChecksumWatch::Idle};

  private:
    friend void SlotStopAll(PortSlotTable& table);
    friend void ShowReceivedText(PortSlotTable& table, const std::string& text);

    // Stops the first `count` slots and joins their threads (except the caller's own); the caller
    // holds stopMutex_.
    void StopThreads(int count);

    HostSink& sink_;
    std::shared_ptr<const DownloadJob> job_;  // outlives the slots' links, which refer to it
    std::array<PortSlot, kSlotCount> slots_;
    std::mutex stopMutex_;     // one SlotStopAll at a time
    std::mutex displayMutex_;  // one console-text update at a time
};

}  // namespace termload
