#pragma once
// The terminal's USB bulk pipe: after the boot console switched it to USB download, the
// terminal is a USB device that takes one whole image through its bulk OUT pipe. Its answers
// still come on the serial console.
//
// The platform's backend finds the device and moves the bytes. Windows opens the first present
// device of the terminal driver's interface class, and its "PIPE01"; on Linux (libusb), which
// has no such class, the device is found by its USB vendor:product id and the pipe is its first
// bulk OUT endpoint. Where the bench names a device, both take only that one.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace termload {

struct UsbDeviceId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const UsbDeviceId&) const = default;
};

// The id a Samsung S3C24x0-family boot loader presents in its USB download mode.
inline constexpr UsbDeviceId kDefaultUsbPipeDevice{0x5345, 0x1234};

// "VVVV:PPPP" in hexadecimal (1 to 4 digits each, an optional 0x); nothing for anything else.
std::optional<UsbDeviceId> ParseUsbDeviceId(std::string_view text);
std::string FormatUsbDeviceId(UsbDeviceId id);

// The bench's setting: section "UsbPipe", key "Device" of the per-user store. Nothing when the
// store names no device (a missing store or key, or a malformed value).
std::optional<UsbDeviceId> ReadUsbPipeDevice(const std::filesystem::path& store);

// Where to find the terminal's device: the one the bench names, or else (nothing) the first of
// the driver's interface class on Windows and kDefaultUsbPipeDevice on Linux.
struct UsbPipeTarget {
    std::optional<UsbDeviceId> device;
};

enum class UsbPipeStatus {
    kOk,
    kNotFound,    // no such device present
    kOpenFailed,  // present, but it could not be opened or has no bulk OUT endpoint
    kTimedOut,    // the device took no (more) data in time
    kCancelled,   // Cancel() was called
    kFailed,      // the transfer failed (device gone, pipe stalled, …)
};

struct UsbPipeResult {
    UsbPipeStatus status = UsbPipeStatus::kOk;
    std::size_t bytes = 0;  // bytes the device took, also when the status reports a problem
    std::string detail;     // for the trace: what failed and why
};

class UsbPipe {
  public:
    using Milliseconds = std::chrono::milliseconds;

    // One look for the device; it is not kept open.
    static UsbPipeStatus Probe(const UsbPipeTarget& target, std::string& detail);
    // Opens the first matching device that opens and claims its bulk OUT pipe.
    static std::unique_ptr<UsbPipe> Open(const UsbPipeTarget& target, UsbPipeStatus& status,
                                         std::string& detail);

    virtual ~UsbPipe() = default;
    UsbPipe(const UsbPipe&) = delete;
    UsbPipe& operator=(const UsbPipe&) = delete;

    // Writes `data` in pieces of at most 4096 bytes; the whole write must be done within
    // `timeout`, else the result is kTimedOut with the bytes that went out.
    virtual UsbPipeResult Write(std::span<const std::uint8_t> data, Milliseconds timeout) = 0;
    // From any thread: a Write in progress (or the next one) ends at once with kCancelled.
    virtual void Cancel() = 0;

  protected:
    UsbPipe() = default;
};

inline constexpr std::size_t kUsbPipeChunk = 8192;
inline constexpr std::size_t kUsbPipePiece = 4096;
inline constexpr std::chrono::milliseconds kUsbPipeChunkTimeout{4000};

// Sends a whole image in chunks of 8192 bytes, each within `chunkTimeout`; `progress` is told
// the bytes sent after every chunk. Stops at the first chunk that fails.
UsbPipeResult UsbSendImage(UsbPipe& pipe, std::span<const std::uint8_t> image,
                           const std::function<void(std::size_t sent)>& progress,
                           std::chrono::milliseconds chunkTimeout = kUsbPipeChunkTimeout);

}  // namespace termload
