// The serial port backend for Windows: overlapped I/O on a COM port, one overlapped record per
// direction, and a manual-reset event that Shutdown() raises for every wait. The rules built on
// these primitives are in serial_port.cpp.
//
// Wine (which runs the test builds) differs from Windows in ways this file allows for: time-outs
// of MAXDWORD are not honoured (finite ones are used), a read that ends by its time-out fails with
// ERROR_TIMEOUT instead of succeeding short, EV_RXCHAR fires while unread input remains, and
// SetCommMask completes a pending wait with ERROR_OPERATION_ABORTED (the mask is set once, before
// any wait).
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channels/serial_backend.h"
#include "channels/serial_identity.h"
#include "config/win32_text.h"

namespace termload {
namespace {

using Clock = SerialBackend::Clock;
using Milliseconds = std::chrono::milliseconds;

constexpr DWORD kQueueSize = 2048;  // the driver's input and output queues, SetupComm
// A read asks only for bytes already queued, so its time-outs never hold it back; they only
// bound a read whose bytes vanished (a purge in between).
constexpr DWORD kReadIntervalTimeout = 10;
constexpr DWORD kReadTotalTimeout = 100;
// Where the driver cannot wait for events, input is looked for this often.
constexpr DWORD kPollInterval = 10;
// How long destruction waits for a cancelled operation to come back before it forces it.
constexpr DWORD kCancelGrace = 2000;

std::error_code SystemError(DWORD code) {
    return {static_cast<int>(code), std::system_category()};
}

// The device has gone: a USB adapter pulled, the driver refusing a port it no longer has.
// ERROR_OPERATION_ABORTED counts only when the port was not shut down and no longer answers.
bool IsHangUpError(DWORD code) {
    return code == ERROR_DEVICE_REMOVED || code == ERROR_BAD_COMMAND ||
           code == ERROR_ACCESS_DENIED || code == ERROR_DEVICE_NOT_CONNECTED;
}

// Milliseconds for WaitFor*Object(s) until `deadline`; INFINITE for none.
DWORD MillisecondsUntil(Clock::time_point deadline) {
    if (deadline == SerialBackend::kNoDeadline) {
        return INFINITE;
    }
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    // Rounded up, so that a wait never ends just short of its deadline and repeats at once.
    const auto milliseconds = std::chrono::ceil<Milliseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>(milliseconds, INFINITE - 1));
}

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (*this) {
            CloseHandle(handle_);
        }
        handle_ = handle;
    }

  private:
    HANDLE handle_ = nullptr;
};

// An overlapped record with its own manual-reset event, and whether an operation on it is in
// flight. The record must outlive the operation: see ~Win32SerialBackend.
struct Overlapped {
    OVERLAPPED record{};
    bool pending = false;

    bool Create() {
        record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        return record.hEvent != nullptr;
    }
    ~Overlapped() {
        if (record.hEvent != nullptr) {
            CloseHandle(record.hEvent);
        }
    }
    // Ready for a new operation.
    void Prepare() {
        HANDLE event = record.hEvent;
        record = OVERLAPPED{};
        record.hEvent = event;
        ResetEvent(event);
    }
};

class Win32SerialBackend final : public SerialBackend {
  public:
    ~Win32SerialBackend() override {
        if (port_) {
            CloseDevice();
        }
        if (!claimedName_.empty()) {
            ReleaseName(claimedName_);
        }
    }

    void CloseDevice() {
        // Pending operations write into their records until they complete: the records may go
        // only after that. A new event mask ends a pending WaitCommEvent (Wine's CancelIoEx does
        // not); the cancel ends the rest. Should a driver still not give an operation back, its
        // records are leaked rather than freed under it.
        if (wait_ && wait_->pending) {
            SetCommMask(port_.Get(), 0);
        }
        CancelIoEx(port_.Get(), nullptr);
        bool settled = true;
        for (Overlapped* operation : {input_.get(), wait_.get(), output_.get()}) {
            if (operation != nullptr && operation->pending) {
                settled = settled && WaitForSingleObject(operation->record.hEvent, kCancelGrace) ==
                                         WAIT_OBJECT_0;
            }
        }
        port_.Reset();
        if (!settled) {
            input_.release();
            wait_.release();
            output_.release();
            outputBuffer_.release();
        }
    }

    std::error_code Open(const std::string& devicePath) {
        const std::wstring path = WideFromUtf8(devicePath);
        if (path.empty()) {
            return std::make_error_code(std::errc::no_such_device);
        }
        // Windows refuses a second open of a port; Wine does not, so this process keeps its
        // own channels apart itself.
        if (!ClaimName(devicePath)) {
            return std::make_error_code(std::errc::device_or_resource_busy);
        }
        claimedName_ = devicePath;
        // No sharing: the port belongs to one channel at a time.
        port_.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (!port_) {
            const DWORD code = GetLastError();
            port_.Reset();
            if (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) {
                return std::make_error_code(std::errc::device_or_resource_busy);
            }
            return SystemError(code);
        }
        if (GetFileType(port_.Get()) != FILE_TYPE_CHAR) {
            return std::make_error_code(std::errc::not_a_stream);
        }
        input_ = std::make_unique<Overlapped>();
        wait_ = std::make_unique<Overlapped>();
        output_ = std::make_unique<Overlapped>();
        outputBuffer_ = std::make_unique<char[]>(kQueueSize);
        shutdown_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!shutdown_ || !input_->Create() || !wait_->Create() || !output_->Create()) {
            return SystemError(GetLastError());
        }
        // Set once, before any wait: a new mask ends a pending wait.
        if (!SetCommMask(port_.Get(), EV_RXCHAR)) {
            return SystemError(GetLastError());
        }
        return {};
    }

    std::error_code Configure(const SerialSettings& settings, const char*& call) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!GetCommState(port_.Get(), &dcb)) {
            call = "GetCommState()";
            return SystemError(GetLastError());
        }
        if (auto error = FillLine(settings, dcb, call)) {
            return error;
        }
        if (!SetupComm(port_.Get(), kQueueSize, kQueueSize)) {
            call = "SetupComm()";
            return SystemError(GetLastError());
        }
        if (!SetCommState(port_.Get(), &dcb)) {
            call = "SetCommState()";
            return SystemError(GetLastError());
        }
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = kReadIntervalTimeout;
        timeouts.ReadTotalTimeoutConstant = kReadTotalTimeout;
        // Writes have no time-out of the driver's: the policy bounds them by waiting.
        if (!SetCommTimeouts(port_.Get(), &timeouts)) {
            call = "SetCommTimeouts()";
            return SystemError(GetLastError());
        }
        // Stale input goes; output does not: it may still hold a previous handle's last frames.
        PurgeComm(port_.Get(), PURGE_RXCLEAR);
        return {};
    }

    PortResult ReadNow(void* buffer, std::size_t count) override {
        const std::lock_guard lock(inputMutex_);
        COMSTAT status{};
        if (!QueryQueues(status)) {
            return Failure(0, GetLastError(), "ClearCommError()");
        }
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count, status.cbInQue));
        if (wanted == 0) {
            if (hungUp_) {
                return {0, PortStatus::kHungUp, SystemError(ERROR_DEVICE_REMOVED), "ReadFile()"};
            }
            return {0, PortStatus::kOk, {}, ""};
        }
        input_->Prepare();
        DWORD got = 0;
        if (!ReadFile(port_.Get(), buffer, wanted, nullptr, &input_->record) &&
            GetLastError() != ERROR_IO_PENDING) {
            return Failure(0, GetLastError(), "ReadFile()");
        }
        // The bytes are queued, so this returns at once (or by the read time-out).
        input_->pending = true;
        const BOOL done = GetOverlappedResult(port_.Get(), &input_->record, &got, TRUE);
        const DWORD code = done ? ERROR_SUCCESS : GetLastError();
        input_->pending = false;
        if (!done && code != ERROR_TIMEOUT) {
            return Failure(got, code, "ReadFile()");
        }
        return {got, PortStatus::kOk, {}, ""};
    }

    PortResult WriteNow(const void* data, std::size_t count) override {
        const std::lock_guard lock(outputMutex_);
        if (hungUp_) {
            return {0, PortStatus::kHungUp, SystemError(ERROR_DEVICE_REMOVED), "WriteFile()"};
        }
        if (output_->pending) {
            DWORD code = ERROR_SUCCESS;
            if (!ReapWrite(code)) {
                return {0, PortStatus::kOk, {}, ""};  // the earlier write still holds the queue
            }
            if (code != ERROR_SUCCESS) {
                return Failure(0, code, "WriteFile()");
            }
        }
        if (count == 0) {
            return {0, PortStatus::kOk, {}, ""};
        }
        COMSTAT status{};
        if (!QueryQueues(status)) {
            return Failure(0, GetLastError(), "ClearCommError()");
        }
        const DWORD room = status.cbOutQue < kQueueSize ? kQueueSize - status.cbOutQue : 0;
        const DWORD taken = static_cast<DWORD>(std::min<std::size_t>(count, room));
        if (taken == 0) {
            return {0, PortStatus::kOk, {}, ""};
        }
        // WriteFile has no partial write: the bytes are the port's from here on, so they are
        // kept in a buffer of the port's until the write completes.
        std::memcpy(outputBuffer_.get(), data, taken);
        output_->Prepare();
        if (!WriteFile(port_.Get(), outputBuffer_.get(), taken, nullptr, &output_->record) &&
            GetLastError() != ERROR_IO_PENDING) {
            return Failure(0, GetLastError(), "WriteFile()");
        }
        output_->pending = true;
        pendingWrite_ = taken;
        return {taken, PortStatus::kOk, {}, ""};
    }

    WaitResult Wait(Direction direction, Clock::time_point deadline) override {
        return direction == Direction::kInput ? WaitForInput(deadline) : WaitForOutput(deadline);
    }

    bool WaitForShutdown(Clock::time_point deadline) override {
        for (;;) {
            if (WaitForSingleObject(shutdown_.Get(), MillisecondsUntil(deadline)) ==
                WAIT_OBJECT_0) {
                return true;
            }
            if (Clock::now() >= deadline) {
                return false;
            }
        }
    }

    std::size_t OutputQueued() override {
        const std::lock_guard lock(outputMutex_);
        if (output_->pending) {
            DWORD code = ERROR_SUCCESS;
            ReapWrite(code);  // a failure is reported by the next write
        }
        COMSTAT status{};
        if (!QueryQueues(status)) {
            return 0;
        }
        // Windows counts the write it holds in cbOutQue. Wine hands a write to the kernel only as
        // the kernel takes it, and counts only the kernel's queue (nothing at all on a pty): the
        // write still held stands for itself there (it may have gone out in part: more, not
        // less). A drain must never see an empty queue while a write is held.
        if (output_->pending) {
            return std::max<std::size_t>(status.cbOutQue, pendingWrite_);
        }
        return status.cbOutQue;
    }

    void DiscardInput() override {
        const std::lock_guard lock(inputMutex_);
        PurgeComm(port_.Get(), PURGE_RXCLEAR);
    }

    void DiscardOutput() override {
        const std::lock_guard lock(outputMutex_);
        PurgeComm(port_.Get(), PURGE_TXABORT | PURGE_TXCLEAR);
        if (output_->pending) {
            // The abort ends the write; where it does not, the cancel does.
            if (WaitForSingleObject(output_->record.hEvent, 0) != WAIT_OBJECT_0) {
                CancelIoEx(port_.Get(), &output_->record);
            }
            DWORD sent = 0;
            GetOverlappedResult(port_.Get(), &output_->record, &sent, TRUE);
            output_->pending = false;
            pendingWrite_ = 0;
        }
    }

    void Shutdown() override {
        shutDown_ = true;
        SetEvent(shutdown_.Get());
        // Waits watch the event already; the cancel ends operations in the driver too.
        CancelIoEx(port_.Get(), nullptr);
    }

    bool HungUp() const override { return hungUp_; }

    std::uint32_t LineEventsWithoutMask() override {
        DWORD mask = 0;
        return GetCommMask(port_.Get(), &mask) ? 0 : events_;
    }

    bool ProbeHungUp() override {
        if (!hungUp_ && !shutDown_ && !PortAnswers()) {
            hungUp_ = true;
        }
        return hungUp_;
    }

    std::string Identity() override { return SerialDeviceIdentityOf(claimedName_); }

  private:
    static std::error_code FillLine(const SerialSettings& settings, DCB& dcb, const char*& call) {
        const auto invalid = [&call](const char* what) {
            call = what;
            return std::make_error_code(std::errc::invalid_argument);
        };
        if (settings.baudRate <= 0) {
            return invalid("baud rate");
        }
        if (settings.byteSize < 5 || settings.byteSize > 8) {
            return invalid("byte size");
        }
        static constexpr BYTE kParities[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY,
                                             SPACEPARITY};
        if (settings.parityIndex < 0 || settings.parityIndex > 4) {
            return invalid("parity");
        }
        switch (settings.stopBitsIndex) {
            case 0:
                dcb.StopBits = ONESTOPBIT;
                break;
            case 1:
                // 1.5 stop bits exist only with 5-bit characters on any UART.
                if (settings.byteSize != 5) {
                    return invalid("1.5 stop bits");
                }
                dcb.StopBits = ONE5STOPBITS;
                break;
            case 2:
                dcb.StopBits = TWOSTOPBITS;
                break;
            default:
                return invalid("stop bits");
        }
        // The driver takes any rate its UART can make, standard or not, or refuses the state.
        dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
        dcb.ByteSize = static_cast<BYTE>(settings.byteSize);
        dcb.Parity = kParities[settings.parityIndex];
        dcb.fParity = settings.parityIndex != 0;
        dcb.fBinary = TRUE;
        dcb.fNull = FALSE;
        dcb.fErrorChar = FALSE;
        // A line error holds reads and writes until ClearCommError, which every read, write and
        // wait here calls first.
        dcb.fAbortOnError = TRUE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fTXContinueOnXoff = TRUE;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.ErrorChar = 0;
        dcb.EofChar = 0;
        dcb.EvtChar = 0;
        // Xon once no more than XonLim bytes wait in the input queue, Xoff when fewer than
        // XoffLim bytes of it are free: the terminals' own values for a 2048-byte queue.
        dcb.XonLim = 2048;
        dcb.XoffLim = 1024;
        switch (settings.flowControlIndex) {
            case 0:
            case 1:
                dcb.fOutxCtsFlow = FALSE;
                dcb.fOutxDsrFlow = FALSE;
                dcb.fRtsControl = RTS_CONTROL_ENABLE;
                dcb.fOutX = dcb.fInX = settings.flowControlIndex == 1;
                dcb.fDtrControl = DTR_CONTROL_ENABLE;
                break;
            case 2:
                // Both handshakes: CTS and DSR hold the output, RTS and DTR tell the terminal
                // when the input queue has room.
                dcb.fOutxCtsFlow = TRUE;
                dcb.fOutxDsrFlow = TRUE;
                dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
                dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
                dcb.fOutX = dcb.fInX = FALSE;
                break;
            default:
                break;  // the driver's flow control and modem lines stay as they are
        }
        return {};
    }

    bool QueryQueues(COMSTAT& status) {
        DWORD errors = 0;
        // Line errors (framing, parity, overrun) are cleared and not reported, as on POSIX.
        return ClearCommError(port_.Get(), &errors, &status) != FALSE;
    }

    // Under outputMutex_, with a write pending: true when it has completed (its outcome in
    // `code`), false while it is still in flight.
    bool ReapWrite(DWORD& code) {
        DWORD sent = 0;
        if (GetOverlappedResult(port_.Get(), &output_->record, &sent, FALSE)) {
            code = sent == pendingWrite_ ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
        } else {
            code = GetLastError();
            if (code == ERROR_IO_INCOMPLETE) {
                return false;
            }
        }
        output_->pending = false;
        pendingWrite_ = 0;
        return true;
    }

    WaitResult WaitForInput(Clock::time_point deadline) {
        if (shutDown_) {
            return WaitResult::kShutDown;
        }
        if (hungUp_) {
            return WaitResult::kHungUp;
        }
        // The wait goes in first, then the queue is looked at: a byte that arrives in between
        // either shows in the queue or completes the wait. A wait left pending by a time-out is
        // still good for the next call.
        if (!wait_->pending) {
            wait_->Prepare();
            events_ = 0;
            if (WaitCommEvent(port_.Get(), &events_, &wait_->record)) {
                return WaitResult::kReady;
            }
            const DWORD code = GetLastError();
            if (code != ERROR_IO_PENDING) {
                if (IsHangUpError(code) || !PortAnswers()) {
                    hungUp_ = true;
                    return WaitResult::kReady;
                }
                return PollForInput(deadline);
            }
            wait_->pending = true;
        }
        {
            const std::lock_guard lock(inputMutex_);
            COMSTAT status{};
            if (!QueryQueues(status)) {
                if (IsHangUpError(GetLastError())) {
                    hungUp_ = true;
                }
                return WaitResult::kReady;  // the read reports it
            }
            if (status.cbInQue > 0) {
                return WaitResult::kReady;
            }
        }
        const HANDLE handles[] = {shutdown_.Get(), wait_->record.hEvent};
        const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, MillisecondsUntil(deadline));
        if (woke == WAIT_OBJECT_0) {
            return WaitResult::kShutDown;
        }
        if (woke != WAIT_OBJECT_0 + 1) {
            return WaitResult::kTimedOut;
        }
        DWORD unused = 0;
        const BOOL done = GetOverlappedResult(port_.Get(), &wait_->record, &unused, FALSE);
        const DWORD code = done ? ERROR_SUCCESS : GetLastError();
        wait_->pending = false;
        if (shutDown_) {
            return WaitResult::kShutDown;
        }
        // A wait the driver ended is a hang-up only when the port no longer answers.
        if (!done && (IsHangUpError(code) || !PortAnswers())) {
            hungUp_ = true;
        }
        return WaitResult::kReady;
    }

    // For a driver that cannot wait for events: look at the input queue every few milliseconds.
    WaitResult PollForInput(Clock::time_point deadline) {
        for (;;) {
            {
                const std::lock_guard lock(inputMutex_);
                COMSTAT status{};
                if (!QueryQueues(status) || status.cbInQue > 0) {
                    return WaitResult::kReady;
                }
            }
            const DWORD left = MillisecondsUntil(deadline);
            if (left == 0) {
                return WaitResult::kTimedOut;
            }
            if (WaitForSingleObject(shutdown_.Get(), std::min(left, kPollInterval)) ==
                WAIT_OBJECT_0) {
                return WaitResult::kShutDown;
            }
        }
    }

    WaitResult WaitForOutput(Clock::time_point deadline) {
        for (;;) {
            if (shutDown_) {
                return WaitResult::kShutDown;
            }
            if (hungUp_) {
                return WaitResult::kHungUp;
            }
            HANDLE written = nullptr;
            {
                const std::lock_guard lock(outputMutex_);
                if (output_->pending) {
                    written = output_->record.hEvent;
                } else {
                    COMSTAT status{};
                    if (!QueryQueues(status) || status.cbOutQue < kQueueSize) {
                        return WaitResult::kReady;
                    }
                }
            }
            const DWORD left = MillisecondsUntil(deadline);
            if (written == nullptr) {
                // The queue is full of bytes that are not ours to wait for: look again soon.
                if (left == 0) {
                    return WaitResult::kTimedOut;
                }
                if (WaitForSingleObject(shutdown_.Get(), std::min(left, kPollInterval)) ==
                    WAIT_OBJECT_0) {
                    return WaitResult::kShutDown;
                }
                continue;
            }
            const HANDLE handles[] = {shutdown_.Get(), written};
            const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, left);
            if (woke == WAIT_OBJECT_0) {
                return WaitResult::kShutDown;
            }
            return woke == WAIT_OBJECT_0 + 1 ? WaitResult::kReady : WaitResult::kTimedOut;
        }
    }

    // Whether the driver still knows the port.
    bool PortAnswers() {
        DWORD errors = 0;
        return ClearCommError(port_.Get(), &errors, nullptr) != FALSE;
    }

    PortResult Failure(std::size_t bytes, DWORD code, const char* call) {
        const bool abortedLive = code == ERROR_OPERATION_ABORTED && !shutDown_;
        if (code == ERROR_OPERATION_ABORTED && shutDown_) {
            return {bytes, PortStatus::kShutDown, {}, ""};
        }
        if (IsHangUpError(code) || (abortedLive && !PortAnswers())) {
            hungUp_ = true;
            return {bytes, PortStatus::kHungUp, SystemError(code), call};
        }
        return {bytes, PortStatus::kFailed, SystemError(code), call};
    }

    // The device names this process has open. Names are compared without letter case, as
    // Windows does; two names of one device (a link) are not caught here, the system's own
    // exclusive open does that.
    static std::mutex& NamesMutex() {
        static std::mutex mutex;
        return mutex;
    }
    static std::vector<std::string>& OpenNames() {
        static std::vector<std::string> names;
        return names;
    }
    static std::string Folded(std::string name) {
        for (char& c : name) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return name;
    }
    static bool ClaimName(const std::string& name) {
        const std::lock_guard lock(NamesMutex());
        auto& names = OpenNames();
        const std::string folded = Folded(name);
        if (std::find(names.begin(), names.end(), folded) != names.end()) {
            return false;
        }
        names.push_back(folded);
        return true;
    }
    static void ReleaseName(const std::string& name) {
        const std::lock_guard lock(NamesMutex());
        auto& names = OpenNames();
        const auto found = std::find(names.begin(), names.end(), Folded(name));
        if (found != names.end()) {
            names.erase(found);
        }
    }

    std::string claimedName_;
    UniqueHandle port_;
    UniqueHandle shutdown_;  // manual-reset, set once by Shutdown()
    // Heap records: a driver that never gives an operation back keeps them (see the destructor).
    std::unique_ptr<Overlapped> input_;   // ReadFile, under inputMutex_
    std::unique_ptr<Overlapped> wait_;    // WaitCommEvent, only the one input waiter uses it
    std::unique_ptr<Overlapped> output_;  // WriteFile, under outputMutex_
    std::unique_ptr<char[]> outputBuffer_;
    DWORD pendingWrite_ = 0;  // bytes of the write in flight
    DWORD events_ = 0;        // filled by a completing WaitCommEvent
    std::mutex inputMutex_;
    std::mutex outputMutex_;
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> shutDown_{false};
};

}  // namespace

std::unique_ptr<SerialBackend> OpenSerialBackend(const std::string& devicePath,
                                                 std::error_code& error) {
    auto backend = std::make_unique<Win32SerialBackend>();
    if ((error = backend->Open(devicePath))) {
        return nullptr;
    }
    return backend;
}

}  // namespace termload
