// The USB bulk pipe on libusb-1.0. Each pipe has its own libusb context and handles that
// context's events on the writing thread only, so a pending transfer never needs another thread;
// Cancel() works from any thread through libusb_cancel_transfer.
#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

#include "channels/usb_pipe.h"

namespace termload {

namespace {

struct ContextCloser {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
using Context = std::unique_ptr<libusb_context, ContextCloser>;

struct HandleCloser {
    void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
using Handle = std::unique_ptr<libusb_device_handle, HandleCloser>;

struct TransferFreer {
    void operator()(libusb_transfer* transfer) const { libusb_free_transfer(transfer); }
};

struct ConfigFreer {
    void operator()(libusb_config_descriptor* config) const {
        libusb_free_config_descriptor(config);
    }
};

std::string Describe(const char* call, int code) {
    return std::string(call) + ": " + libusb_error_name(code);
}

Context NewContext(std::string& detail) {
    libusb_context* context = nullptr;
    const int code = libusb_init(&context);
    if (code != LIBUSB_SUCCESS) {
        detail = Describe("libusb_init", code);
        return nullptr;
    }
    return Context(context);
}

bool Matches(libusb_device* device, UsbDeviceId id) {
    libusb_device_descriptor descriptor{};
    return libusb_get_device_descriptor(device, &descriptor) == LIBUSB_SUCCESS &&
           descriptor.idVendor == id.vendor && descriptor.idProduct == id.product;
}

struct BulkOut {
    int interface = -1;
    int altSetting = 0;
    std::uint8_t endpoint = 0;
};

// The first bulk OUT endpoint of the active configuration, in descriptor order.
std::optional<BulkOut> FindBulkOut(libusb_device* device) {
    libusb_config_descriptor* raw = nullptr;
    if (libusb_get_active_config_descriptor(device, &raw) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device, 0, &raw) != LIBUSB_SUCCESS) {
        return std::nullopt;
    }
    std::unique_ptr<libusb_config_descriptor, ConfigFreer> config(raw);
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if ((endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_OUT &&
                    (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) ==
                        LIBUSB_TRANSFER_TYPE_BULK) {
                    return BulkOut{setting.bInterfaceNumber, setting.bAlternateSetting,
                                   endpoint.bEndpointAddress};
                }
            }
        }
    }
    return std::nullopt;
}

class LibusbPipe final : public UsbPipe {
  public:
    LibusbPipe(Context context, Handle handle, BulkOut pipe, libusb_transfer* transfer)
        : context_(std::move(context)),
          handle_(std::move(handle)),
          pipe_(pipe),
          transfer_(transfer) {}

    ~LibusbPipe() override {
        libusb_release_interface(handle_.get(), pipe_.interface);
        // The transfer is never pending here: Write returns only after its completion.
        transfer_.reset();
        handle_.reset();
        context_.reset();
    }

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
            const std::size_t piece = std::min(data.size() - sent, kUsbPipePiece);
            std::memcpy(buffer_.data(), data.data() + sent, piece);
            int completed = 0;
            libusb_fill_bulk_transfer(transfer_.get(), handle_.get(), pipe_.endpoint,
                                      buffer_.data(), static_cast<int>(piece), &OnDone, &completed,
                                      static_cast<unsigned>(left));
            {
                std::lock_guard lock(mutex_);
                if (cancelled_) {
                    return {UsbPipeStatus::kCancelled, sent, "cancelled"};
                }
                const int code = libusb_submit_transfer(transfer_.get());
                if (code != LIBUSB_SUCCESS) {
                    return {UsbPipeStatus::kFailed, sent, Describe("libusb_submit_transfer", code)};
                }
                pending_ = true;
            }
            while (!completed) {
                const int code = libusb_handle_events_completed(context_.get(), &completed);
                if (code != LIBUSB_SUCCESS && code != LIBUSB_ERROR_INTERRUPTED) {
                    // The transfer is still ours to finish: cancel it and keep handling events
                    // until libusb gives it back.
                    libusb_cancel_transfer(transfer_.get());
                }
            }
            {
                std::lock_guard lock(mutex_);
                pending_ = false;
            }
            sent += static_cast<std::size_t>(std::max(0, transfer_->actual_length));
            switch (transfer_->status) {
                case LIBUSB_TRANSFER_COMPLETED:
                    break;
                case LIBUSB_TRANSFER_TIMED_OUT:
                    return {UsbPipeStatus::kTimedOut, sent, "the device took no data in time"};
                case LIBUSB_TRANSFER_CANCELLED:
                    return {UsbPipeStatus::kCancelled, sent, "cancelled"};
                case LIBUSB_TRANSFER_NO_DEVICE:
                    return {UsbPipeStatus::kFailed, sent, "the device is gone"};
                case LIBUSB_TRANSFER_STALL:
                    return {UsbPipeStatus::kFailed, sent, "the pipe stalled"};
                default:
                    return {UsbPipeStatus::kFailed, sent, "the transfer failed"};
            }
        }
        return {UsbPipeStatus::kOk, sent, {}};
    }

    void Cancel() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (pending_) {
            libusb_cancel_transfer(transfer_.get());
        }
    }

  private:
    static void LIBUSB_CALL OnDone(libusb_transfer* transfer) {
        *static_cast<int*>(transfer->user_data) = 1;
    }

    Context context_;
    Handle handle_;
    BulkOut pipe_;
    std::unique_ptr<libusb_transfer, TransferFreer> transfer_;
    std::array<unsigned char, kUsbPipePiece> buffer_{};
    std::mutex mutex_;
    bool cancelled_ = false;
    bool pending_ = false;
};

}  // namespace

UsbPipeStatus UsbPipe::Probe(const UsbPipeTarget& target, std::string& detail) {
    // No interface class to look for here: without the bench's device, the boot loader's id.
    const UsbDeviceId device = target.device.value_or(kDefaultUsbPipeDevice);
    Context context = NewContext(detail);
    if (!context) {
        return UsbPipeStatus::kFailed;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context.get(), &list);
    if (count < 0) {
        detail = Describe("libusb_get_device_list", static_cast<int>(count));
        return UsbPipeStatus::kFailed;
    }
    bool found = false;
    for (ssize_t i = 0; i < count && !found; ++i) {
        found = Matches(list[i], device);
    }
    libusb_free_device_list(list, 1);
    if (!found) {
        detail = "no USB device " + FormatUsbDeviceId(device);
    }
    return found ? UsbPipeStatus::kOk : UsbPipeStatus::kNotFound;
}

std::unique_ptr<UsbPipe> UsbPipe::Open(const UsbPipeTarget& target, UsbPipeStatus& status,
                                       std::string& detail) {
    const UsbDeviceId device = target.device.value_or(kDefaultUsbPipeDevice);
    status = UsbPipeStatus::kFailed;
    Context context = NewContext(detail);
    if (!context) {
        return nullptr;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context.get(), &list);
    if (count < 0) {
        detail = Describe("libusb_get_device_list", static_cast<int>(count));
        return nullptr;
    }
    std::unique_ptr<UsbPipe> result;
    status = UsbPipeStatus::kNotFound;
    detail = "no USB device " + FormatUsbDeviceId(device);
    for (ssize_t i = 0; i < count && !result; ++i) {
        if (!Matches(list[i], device)) {
            continue;
        }
        status = UsbPipeStatus::kOpenFailed;
        const std::optional<BulkOut> pipe = FindBulkOut(list[i]);
        if (!pipe) {
            detail = FormatUsbDeviceId(device) + " has no bulk OUT endpoint";
            continue;
        }
        libusb_device_handle* raw = nullptr;
        int code = libusb_open(list[i], &raw);
        if (code != LIBUSB_SUCCESS) {
            detail = Describe("libusb_open", code);
            continue;
        }
        Handle handle(raw);
        libusb_set_auto_detach_kernel_driver(handle.get(), 1);
        code = libusb_claim_interface(handle.get(), pipe->interface);
        if (code != LIBUSB_SUCCESS) {
            detail = Describe("libusb_claim_interface", code);
            continue;
        }
        if (pipe->altSetting != 0) {
            code =
                libusb_set_interface_alt_setting(handle.get(), pipe->interface, pipe->altSetting);
            if (code != LIBUSB_SUCCESS) {
                libusb_release_interface(handle.get(), pipe->interface);
                detail = Describe("libusb_set_interface_alt_setting", code);
                continue;
            }
        }
        libusb_transfer* transfer = libusb_alloc_transfer(0);
        if (!transfer) {
            libusb_release_interface(handle.get(), pipe->interface);
            detail = "libusb_alloc_transfer failed";
            continue;
        }
        result =
            std::make_unique<LibusbPipe>(std::move(context), std::move(handle), *pipe, transfer);
        status = UsbPipeStatus::kOk;
        detail.clear();
    }
    // The list's references go; the open handle keeps its own device reference.
    libusb_free_device_list(list, 1);
    return result;
}

}  // namespace termload
