// The USB bulk pipe on Windows: the terminal's download driver registers a device interface of
// its own class; the pipe is the interface path + "\PIPE01", written with overlapped WriteFile so
// that a time-out or Cancel() from another thread (CancelIoEx) ends a write at once.
#include "config/win32_text.h"
// SetupAPI after windows.h.
#include <setupapi.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "channels/usb_pipe.h"
#include "channels/windows_names.h"

namespace termload {

namespace {

// The download driver's interface class.
constexpr GUID kPipeInterface = {
    0x8E120C45, 0x4968, 0x4188, {0xBA, 0x19, 0x9A, 0x82, 0x36, 0x1C, 0x8F, 0xA8}};

std::string Describe(const char* call, DWORD code) {
    return std::string(call) + " failed, error " + std::to_string(code);
}

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() {
        if (*this) {
            CloseHandle(handle_);
        }
    }
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    UniqueHandle& operator=(UniqueHandle&&) = delete;
    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The interface paths of the present devices of the driver's class, in the system's order. When
// the bench names a `device`, a path with other USB ids is left out; one without ids is kept
// (the class is the driver's own).
std::vector<std::wstring> InterfacePaths(const std::optional<UsbDeviceId>& device,
                                         std::string& detail) {
    std::vector<std::wstring> paths;
    const HDEVINFO list = SetupDiGetClassDevsW(&kPipeInterface, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) {
        detail = Describe("SetupDiGetClassDevs", GetLastError());
        return paths;
    }
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof(entry);
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(list, nullptr, &kPipeInterface, index, &entry); ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(list, &entry, nullptr, 0, &size, nullptr);
        // The detail is a size field followed by the path; bounded, as the size comes from the
        // system's driver store.
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || size > 64 * 1024) {
            continue;
        }
        std::vector<std::uint64_t> storage(size / sizeof(std::uint64_t) + 1);
        auto* detailData = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detailData->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(list, &entry, detailData, size, nullptr, nullptr)) {
            continue;
        }
        const std::size_t room =
            (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
        const std::wstring path(detailData->DevicePath, wcsnlen(detailData->DevicePath, room));
        const auto ids = UsbIdsFromHardwareId(Utf8FromWide(path));
        if (device && ids && (ids->vendor != device->vendor || ids->product != device->product)) {
            continue;
        }
        paths.push_back(path);
    }
    SetupDiDestroyDeviceInfoList(list);
    if (paths.empty() && detail.empty()) {
        detail = "no USB device " + (device ? FormatUsbDeviceId(*device)
                                            : std::string("of the download driver's interface"));
    }
    return paths;
}

class Win32Pipe final : public UsbPipe {
  public:
    Win32Pipe(UniqueHandle pipe, UniqueHandle written, UniqueHandle cancelled)
        : pipe_(std::move(pipe)), written_(std::move(written)), cancelled_(std::move(cancelled)) {}

    UsbPipeResult Write(std::span<const std::uint8_t> data, Milliseconds timeout) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + timeout;
        std::size_t sent = 0;
        while (sent < data.size()) {
            const auto left =
                std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                return {UsbPipeStatus::kTimedOut, sent, "no room in the pipe in time"};
            }
            if (WaitForSingleObject(cancelled_.Get(), 0) == WAIT_OBJECT_0) {
                return {UsbPipeStatus::kCancelled, sent, "cancelled"};
            }
            const DWORD piece = static_cast<DWORD>(std::min(data.size() - sent, kUsbPipePiece));
            std::memcpy(buffer_.data(), data.data() + sent, piece);
            OVERLAPPED record{};
            record.hEvent = written_.Get();
            ResetEvent(written_.Get());
            if (!WriteFile(pipe_.Get(), buffer_.data(), piece, nullptr, &record) &&
                GetLastError() != ERROR_IO_PENDING) {
                return {UsbPipeStatus::kFailed, sent, Describe("WriteFile", GetLastError())};
            }
            const HANDLE handles[] = {written_.Get(), cancelled_.Get()};
            const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(left));
            UsbPipeStatus ending = UsbPipeStatus::kOk;
            if (woke != WAIT_OBJECT_0) {
                // Time out or Cancel(): the write is ended here and waited for, since the record
                // and the buffer are in use until the driver gives it back.
                ending = woke == WAIT_OBJECT_0 + 1 ? UsbPipeStatus::kCancelled
                                                   : UsbPipeStatus::kTimedOut;
                CancelIoEx(pipe_.Get(), &record);
            }
            DWORD moved = 0;
            const BOOL done = GetOverlappedResult(pipe_.Get(), &record, &moved, TRUE);
            const DWORD code = done ? ERROR_SUCCESS : GetLastError();
            sent += moved;
            if (ending == UsbPipeStatus::kCancelled) {
                return {ending, sent, "cancelled"};
            }
            if (ending == UsbPipeStatus::kTimedOut ||
                (!done && (code == ERROR_OPERATION_ABORTED || code == ERROR_SEM_TIMEOUT))) {
                return {UsbPipeStatus::kTimedOut, sent, "the device took no data in time"};
            }
            if (!done) {
                return {UsbPipeStatus::kFailed, sent, Describe("WriteFile", code)};
            }
            if (moved < piece) {
                return {UsbPipeStatus::kFailed, sent, "the device took part of a piece"};
            }
        }
        return {UsbPipeStatus::kOk, sent, {}};
    }

    void Cancel() override {
        SetEvent(cancelled_.Get());
        CancelIoEx(pipe_.Get(), nullptr);
    }

  private:
    UniqueHandle pipe_;
    UniqueHandle written_;    // manual-reset, the write's completion
    UniqueHandle cancelled_;  // manual-reset, set once by Cancel()
    std::array<unsigned char, kUsbPipePiece> buffer_{};
};

}  // namespace

UsbPipeStatus UsbPipe::Probe(const UsbPipeTarget& target, std::string& detail) {
    detail.clear();
    const auto paths = InterfacePaths(target.device, detail);
    if (!paths.empty()) {
        return UsbPipeStatus::kOk;
    }
    return detail.rfind("no USB device", 0) == 0 ? UsbPipeStatus::kNotFound
                                                 : UsbPipeStatus::kFailed;
}

std::unique_ptr<UsbPipe> UsbPipe::Open(const UsbPipeTarget& target, UsbPipeStatus& status,
                                       std::string& detail) {
    detail.clear();
    const auto paths = InterfacePaths(target.device, detail);
    if (paths.empty()) {
        status = detail.rfind("no USB device", 0) == 0 ? UsbPipeStatus::kNotFound
                                                       : UsbPipeStatus::kFailed;
        return nullptr;
    }
    status = UsbPipeStatus::kOpenFailed;
    for (const std::wstring& path : paths) {
        const std::wstring pipePath = path + L"\\PIPE01";
        UniqueHandle pipe(CreateFileW(pipePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
        if (!pipe) {
            detail = Describe("CreateFile of the pipe", GetLastError());
            continue;
        }
        UniqueHandle written(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        UniqueHandle cancelled(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!written || !cancelled) {
            detail = Describe("CreateEvent", GetLastError());
            continue;
        }
        status = UsbPipeStatus::kOk;
        detail.clear();
        return std::make_unique<Win32Pipe>(std::move(pipe), std::move(written),
                                           std::move(cancelled));
    }
    return nullptr;
}

}  // namespace termload
