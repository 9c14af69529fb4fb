#include "sim_port.hpp"

#include <sys/epoll.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>

namespace termsim {

namespace {

constexpr size_t kMaxQueuedOutput = 1 << 20;  // answers nobody reads are dropped beyond this
constexpr Duration kCloseSettle = milliseconds(30);
constexpr Duration kExitDrainLimit = milliseconds(2000);

}  // namespace

SimPort::SimPort(EventLoop& loop, OpenWatcher& watcher, PortSetup setup, TerminalSetup terminal,
                 ResultsLog& log, Tally& tally)
    : loop_(loop),
      watcher_(watcher),
      setup_(std::move(setup)),
      terminal_(std::move(terminal), *this, log, tally),
      inPacer_(setup_.baud),
      outPacer_(setup_.baud),
      terminalTimer_(loop),
      inputTimer_(loop),
      outputTimer_(loop),
      closeTimer_(loop),
      awayTimer_(loop) {
    OpenLine();
}

SimPort::~SimPort() {
    CloseLine();
}

void SimPort::OpenLine(const std::string& node) {
    pty_ = node.empty() ? OpenPty() : OpenPtyNamed(node);
    PointLink(setup_.link, pty_.devicePath);
    watch_ = watcher_.Watch(
        pty_.devicePath, [this](bool opened) { lineEvents_.push_back(opened); },
        [this]() { Service(); });
    loop_.Add(pty_.master.get(), EPOLLIN, [this](uint32_t events) { OnMaster(events); });
    ++lineGeneration_;
    toolOpens_ = 0;
    reading_ = true;
    inputPaced_ = false;
    waitingWritable_ = false;
}

void SimPort::CloseLine() {
    if (!pty_.master) {
        return;
    }
    watcher_.Unwatch(watch_);
    loop_.Remove(pty_.master.get());
    pty_ = Pty{};
    ++lineGeneration_;  // bytes read from the old line are not the next one's
    lineEvents_.clear();
    out_.clear();
    outBytes_ = 0;
    inputTimer_.Clear();
    outputTimer_.Clear();
    closeTimer_.Clear();
    closeDue_.reset();
}

void SimPort::Shutdown(TimePoint now) {
    // What the tool wrote before termsim was told to stop is on the line: it is taken in, without
    // pacing, before the unit is recorded; a tool that goes on writing is cut off after a while.
    const uint64_t generation = lineGeneration_;
    const TimePoint giveUp = Clock::now() + kExitDrainLimit;
    uint8_t buffer[4096];
    while (pty_.master && reading_ && generation == lineGeneration_ && Clock::now() < giveUp) {
        watcher_.Poll();
        ApplyThroughLastOpen();
        const ssize_t n = ::read(pty_.master.get(), buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        size_t count = static_cast<size_t>(n);
        ApplyByteFaults(buffer, count);
        terminal_.Receive(std::span<const uint8_t>(buffer, count), Clock::now());
    }
    terminal_.Shutdown(now);
    terminalTimer_.Clear();
}

void SimPort::OnMaster(uint32_t events) {
    if (events & EPOLLOUT) {
        waitingWritable_ = false;
        FlushOutput();
    }
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
        Service();
    }
    UpdateEvents();
}

// Takes the line's events and bytes in the order they happened as far as they can be told. An
// event is queued before the open or close returns, so once a chunk has been read, a poll shows
// every event that came before any byte in it. A chunk with no new open behind it belongs to the
// session it was read in, and a close waits until every byte before it is read. A chunk with an
// open behind it may hold the end of the old session and the start of the new one (a busy
// machine keeps termsim from reading for longer than the tool's pause between close and open):
// it goes to the new session, but the terminal keeps a frame or file the old one left midway
// open for it, so neither the old session's last bytes nor the new one's first are lost.
void SimPort::Service() {
    if (servicing_ || !pty_.master) {
        return;
    }
    servicing_ = true;
    const uint64_t generation = lineGeneration_;
    watcher_.Poll();  // events of other ports are noted too and served by their own turn
    while (generation == lineGeneration_) {
        ApplyThroughLastOpen();
        const bool drained = !reading_ || Drain();
        if (generation != lineGeneration_ || lineEvents_.empty() || !drained) {
            break;
        }
        // Only closes are left. Bytes the tool wrote just before one may still be on their way
        // through the pty, so the close waits a moment.
        const TimePoint now = Clock::now();
        if (!closeDue_) {
            closeDue_ = now + kCloseSettle;
            closeTimer_.Set(*closeDue_, [this]() { Service(); });
            break;
        }
        if (now < *closeDue_) {
            break;
        }
        closeDue_.reset();
        closeTimer_.Clear();
        lineEvents_.pop_front();
        ApplyClose(false);
    }
    servicing_ = false;
    UpdateEvents();
}

// Applies the waiting events up to the last open. The closes among them need no settling: the
// tool opened again after them, and what is on the line now goes to the newest session.
void SimPort::ApplyThroughLastOpen() {
    const auto last = std::find(lineEvents_.rbegin(), lineEvents_.rend(), true);
    if (last == lineEvents_.rend()) {
        return;
    }
    const size_t count = static_cast<size_t>(lineEvents_.rend() - last);
    closeDue_.reset();
    closeTimer_.Clear();
    for (size_t i = 0; i < count; ++i) {
        const bool opened = lineEvents_.front();
        lineEvents_.pop_front();
        if (opened) {
            if (toolOpens_++ == 0) {
                terminal_.PortOpened(Clock::now());
                ArmTerminal();
            }
        } else {
            ApplyClose(true);
        }
    }
}

void SimPort::ApplyClose(bool reopened) {
    if (toolOpens_ > 0 && --toolOpens_ == 0) {
        ToolClosed(reopened);
    }
}

// Reads what the pacer allows; true when nothing is left to read now.
bool SimPort::Drain() {
    const uint64_t generation = lineGeneration_;
    uint8_t buffer[4096];
    for (;;) {
        const TimePoint now = Clock::now();
        const size_t allowance = inPacer_.Allowance(now);
        if (allowance == 0) {
            inputPaced_ = true;
            inputTimer_.Set(inPacer_.NextSlot(), [this]() {
                inputPaced_ = false;
                Service();
            });
            return false;
        }
        const ssize_t n = ::read(pty_.master.get(), buffer, std::min(sizeof buffer, allowance));
        if (n <= 0) {
            return true;  // EAGAIN (EIO cannot happen while we hold the device side)
        }
        inPacer_.Consume(static_cast<size_t>(n), now);
        // The tool may have closed and opened again while these bytes waited.
        watcher_.Poll();
        ApplyThroughLastOpen();
        if (generation != lineGeneration_) {
            return true;
        }
        size_t count = static_cast<size_t>(n);
        ApplyByteFaults(buffer, count);
        terminal_.Receive(std::span<const uint8_t>(buffer, count), now);
        if (generation != lineGeneration_) {
            return true;  // the terminal hung up: this line is gone
        }
        ArmTerminal();
        if (!reading_) {
            return true;  // stalled: the rest waits in the line until the tool closes
        }
    }
}

void SimPort::ApplyByteFaults(uint8_t* bytes, size_t& count) {
    const PortFaults& faults = setup_.faults;
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        ++bytesReceived_;
        if (faults.dropEvery != 0 && bytesReceived_ % faults.dropEvery == 0) {
            continue;
        }
        uint8_t byte = bytes[i];
        if (faults.corruptEvery != 0 && bytesReceived_ % faults.corruptEvery == 0) {
            byte ^= 0xFF;
        }
        bytes[kept++] = byte;
    }
    count = kept;
}

void SimPort::ToolClosed(bool reopened) {
    // Answers the tool did not read are gone with it, as on a real line.
    ::tcflush(pty_.device.get(), TCIFLUSH);
    out_.clear();
    outBytes_ = 0;
    // Bytes held back by a stall are dropped, unless the tool has opened again: then they may
    // be the new session's.
    if (!reading_ && !reopened) {
        uint8_t buffer[4096];
        while (::read(pty_.master.get(), buffer, sizeof buffer) > 0) {
        }
    }
    reading_ = true;
    terminal_.PortClosed(Clock::now(), reopened);
    ArmTerminal();
}

void SimPort::Send(std::string_view bytes) {
    if (setup_.faults.silent || toolOpens_ == 0 || bytes.empty()) {
        return;
    }
    const TimePoint due = Clock::now() + setup_.faults.slow;
    if (!out_.empty() && out_.back().due == due) {
        out_.back().bytes.append(bytes);
    } else {
        out_.push_back({due, std::string(bytes)});
    }
    outBytes_ += bytes.size();
    while (outBytes_ > kMaxQueuedOutput && out_.size() > 1) {
        outBytes_ -= out_.front().bytes.size();
        out_.pop_front();
    }
    FlushOutput();
    UpdateEvents();
}

void SimPort::FlushOutput() {
    while (!out_.empty() && !waitingWritable_) {
        const TimePoint now = Clock::now();
        Pending& front = out_.front();
        if (front.due > now) {
            outputTimer_.Set(front.due, [this]() {
                FlushOutput();
                UpdateEvents();
            });
            return;
        }
        const size_t allowance = outPacer_.Allowance(now);
        if (allowance == 0) {
            outputTimer_.Set(outPacer_.NextSlot(), [this]() {
                FlushOutput();
                UpdateEvents();
            });
            return;
        }
        const ssize_t n =
            ::write(pty_.master.get(), front.bytes.data(), std::min(front.bytes.size(), allowance));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                waitingWritable_ = errno == EAGAIN;
                continue;
            }
            out_.clear();  // the line is gone
            outBytes_ = 0;
            return;
        }
        outPacer_.Consume(static_cast<size_t>(n), now);
        outBytes_ -= static_cast<size_t>(n);
        front.bytes.erase(0, static_cast<size_t>(n));
        if (front.bytes.empty()) {
            out_.pop_front();
        }
    }
}

void SimPort::UpdateEvents() {
    if (!pty_.master) {
        return;
    }
    uint32_t events = 0;
    if (reading_ && !inputPaced_) {
        events |= EPOLLIN;
    }
    if (waitingWritable_) {
        events |= EPOLLOUT;
    }
    loop_.Modify(pty_.master.get(), events);
}

void SimPort::UsbImageReceived(UsbImage image) {
    terminal_.UsbImageReceived(std::move(image), Clock::now());
    ArmTerminal();
}

void SimPort::ArmTerminal() {
    terminalTimer_.Set(terminal_.NextDeadline(), [this]() {
        terminal_.Advance(Clock::now());
        ArmTerminal();
    });
}

void SimPort::HangUp() {
    GoAway(false);
}

void SimPort::Replace() {
    GoAway(true);
}

void SimPort::GoAway(bool sameNode) {
    const std::string node = sameNode ? pty_.devicePath : std::string{};
    CloseLine();
    if (setup_.faults.awayFor <= Duration::zero()) {
        OpenLine(node);
        return;
    }
    // The device is missing for a while: no link, as a USB adapter re-enumerating.
    std::error_code ignored;
    std::filesystem::remove(setup_.link, ignored);
    awayTimer_.Set(Clock::now() + setup_.faults.awayFor, [this, node]() {
        OpenLine(node);
        ArmTerminal();
    });
}

void SimPort::StopReading() {
    reading_ = false;
}

}  // namespace termsim
