// usbdevfs as the tool's libusb sees it, answered from umockdev's worker thread: claim and
// release, URB submit, reap and discard. Bulk OUT data goes to the image check; everything on
// endpoint 0 stalls, since the download needs no control requests.
#include "usb_gadget.hpp"
#include "umockdev_errors.hpp"

#include <linux/usbdevice_fs.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace termsim {

namespace {

constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";
constexpr const char* kSysPath = "/devices/pci0000:00/0000:00:14.0/usb1/1-1";
constexpr uint8_t kBulkOut = 0x01;
constexpr uint8_t kBulkIn = 0x81;
// libusb polls the node, which the testbed makes a plain file that is always ready; answering
// "nothing to reap" after this pause keeps its event loop from spinning.
constexpr guint kNothingToReapMs = 2;

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char two[3];
    for (uint8_t byte : bytes) {
        std::snprintf(two, sizeof two, "%02X", byte);
        text += two;
    }
    return text;
}

// Device, configuration, one vendor-class interface with a bulk OUT and a bulk IN endpoint.
std::vector<uint8_t> Descriptors(uint16_t vendor, uint16_t product) {
    const auto lo = [](unsigned v) { return static_cast<uint8_t>(v & 0xFF); };
    const auto hi = [](unsigned v) { return static_cast<uint8_t>(v >> 8); };
    return {18,          1,           0x00, 0x02, 0, 0,       0,  64,   lo(vendor), hi(vendor),
            lo(product), hi(product), 0x00, 0x01, 1, 2,       0,  1,    9,          2,
            32,          0,           1,    1,    0, 0x80,    50, 9,    4,          0,
            0,           2,           0xFF, 0,    0, 0,       7,  5,    kBulkOut,   2,
            0x00,        0x02,        0,    7,    5, kBulkIn, 2,  0x00, 0x02,       0};
}

struct Urb {
    UMockdevIoctlData* urb = nullptr;  // the client's struct usbdevfs_urb
    UMockdevIoctlData* buffer = nullptr;
    bool ready = false;
    ~Urb() {
        if (buffer)
            g_object_unref(buffer);
        if (urb)
            g_object_unref(urb);
    }
    usbdevfs_urb* fields() const { return reinterpret_cast<usbdevfs_urb*>(urb->data); }
};

gboolean CompleteLater(gpointer data, int error) {
    umockdev_ioctl_client_complete(static_cast<UMockdevIoctlClient*>(data), -1, error);
    return G_SOURCE_REMOVE;
}

}  // namespace

struct UsbGadget::Impl {
    UsbGadgetOptions options;
    UMockdevTestbed* testbed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    int ready = -1;  // eventfd

    std::mutex mutex;  // everything below: the worker thread and the loop share it
    std::deque<std::unique_ptr<Urb>> urbs;
    UsbImageAssembler assembler;
    std::vector<UsbImage> received;
    bool claimed = false;
    bool stalled = false;
    bool reapedLast = false;
    int stallsDone = 0;
    int badSumsDone = 0;

    ~Impl() {
        if (handler) {
            GError* error = nullptr;
            umockdev_testbed_detach_ioctl(testbed, kDeviceNode, &error);
            g_clear_error(&error);
            g_object_unref(handler);
        }
        urbs.clear();
        if (testbed)
            g_object_unref(testbed);
        if (ready >= 0)
            ::close(ready);
    }

    void Deliver(UsbImage image) {
        if (!image.cutOff && image.problem.empty() && badSumsDone < options.faults.badSums) {
            ++badSumsDone;
            image.sumGiven = static_cast<uint16_t>(image.sumGiven ^ 0xFFFF);
            image.problem = "sum damaged on the way (fault)";
        }
        received.push_back(std::move(image));
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(ready, &one, sizeof one);
    }

    // The host claims or lets go of the interface: an image under way ends, a stall with it.
    void StartOver() {
        if (auto cut = assembler.Reset()) {
            Deliver(std::move(*cut));
        }
        stalled = false;
    }

    bool StallDue(size_t length) {
        const UsbGadgetFaults& f = options.faults;
        if (stalled)
            return true;
        if (f.stallAfterBytes < 0 || (f.stallImages != 0 && stallsDone >= f.stallImages)) {
            return false;
        }
        if (assembler.bytesIn() + length <= static_cast<uint64_t>(f.stallAfterBytes)) {
            return false;
        }
        stalled = true;
        ++stallsDone;
        return true;
    }

    // Returns the errno to complete with (0: success).
    int Submit(UMockdevIoctlData* data) {
        auto urb = std::make_unique<Urb>();
        urb->urb = static_cast<UMockdevIoctlData*>(g_object_ref(data));
        usbdevfs_urb* fields = urb->fields();
        if (fields->buffer_length < 0)
            return EINVAL;
        if (fields->buffer_length > 0) {
            GError* error = nullptr;
            urb->buffer =
                umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                            static_cast<gsize>(fields->buffer_length), &error);
            if (!urb->buffer) {
                g_clear_error(&error);
                return EFAULT;
            }
        }
        const bool bulk = fields->type == USBDEVFS_URB_TYPE_BULK &&
                          (fields->endpoint == kBulkOut || fields->endpoint == kBulkIn);
        const bool control =
            fields->type == USBDEVFS_URB_TYPE_CONTROL && (fields->endpoint & 0x7F) == 0;
        if (!bulk && !control)
            return ENOENT;
        if (bulk && !claimed)
            return EINVAL;  // as the kernel: claim first
        if (control) {
            fields->status = -EPIPE;
            fields->actual_length = 0;
            urb->ready = true;
        } else if (fields->endpoint == kBulkOut) {
            const size_t length = static_cast<size_t>(fields->buffer_length);
            if (!StallDue(length)) {
                std::span<const uint8_t> bytes;
                if (urb->buffer)
                    bytes = {urb->buffer->data, length};
                for (UsbImage& image : assembler.Feed(bytes)) {
                    Deliver(std::move(image));
                }
                fields->actual_length = fields->buffer_length;
                fields->status = 0;
                urb->ready = true;
            }
        }
        // Bulk IN: the terminal never answers on USB; the URB waits until discarded.
        urbs.push_back(std::move(urb));
        return 0;
    }

    int Discard(gulong clientAddress) {
        for (auto& urb : urbs) {
            if (urb->urb->client_addr == clientAddress && !urb->ready) {
                urb->fields()->status = -ENOENT;
                urb->fields()->actual_length = 0;
                urb->ready = true;
                return 0;
            }
        }
        return EINVAL;
    }

    gboolean OnIoctl(UMockdevIoctlClient* client) {
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        UMockdevIoctlData* data = nullptr;
        const gsize size = _IOC_SIZE(request);
        if (size > 0 && _IOC_DIR(request) != _IOC_NONE) {
            GError* error = nullptr;
            data = umockdev_ioctl_data_resolve(arg, 0, size, &error);
            if (!data) {
                g_clear_error(&error);
                umockdev_ioctl_client_complete(client, -1, EFAULT);
                return TRUE;
            }
        }
        int error = 0;
        bool later = false;
        {
            std::lock_guard lock(mutex);
            switch (request) {
                case USBDEVFS_GET_CAPABILITIES:
                    *reinterpret_cast<guint32*>(data->data) =
                        USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                        USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_SCATTER_GATHER;
                    break;
                case USBDEVFS_CLAIMINTERFACE:
                case USBDEVFS_RELEASEINTERFACE:
                    if (*reinterpret_cast<unsigned*>(data->data) != 0) {
                        error = ENOENT;
                        break;
                    }
                    claimed = request == USBDEVFS_CLAIMINTERFACE;
                    StartOver();
                    break;
                case USBDEVFS_GETDRIVER:
                case USBDEVFS_IOCTL:  // asks to detach a kernel driver
                    error = ENODATA;  // no kernel driver bound
                    break;
                case USBDEVFS_SETINTERFACE:
                case USBDEVFS_CLEAR_HALT:
                case USBDEVFS_RESETEP:
                case USBDEVFS_RESET:
                    break;
                case USBDEVFS_SUBMITURB:
                    error = Submit(data);
                    break;
                case USBDEVFS_DISCARDURB:
                    // The argument is the client's URB pointer itself.
                    error = Discard(*reinterpret_cast<gulong*>(arg->data));
                    break;
                case USBDEVFS_REAPURB:
                case USBDEVFS_REAPURBNDELAY: {
                    auto found = urbs.end();
                    for (auto it = urbs.begin(); it != urbs.end(); ++it) {
                        if ((*it)->ready) {
                            found = it;
                            break;
                        }
                    }
                    if (found == urbs.end()) {
                        // libusb reaps until nothing is left: the first "nothing" after a URB
                        // goes back at once, only the ones that would make it spin wait.
                        later = !reapedLast;
                        reapedLast = false;
                        error = EAGAIN;
                        break;
                    }
                    reapedLast = true;
                    // The client's URB pointer goes into *arg; URB and buffer are copied back
                    // to the client when the call completes.
                    umockdev_ioctl_data_set_ptr(data, 0, (*found)->urb);
                    urbs.erase(found);
                    break;
                }
                default:
                    error = ENOTTY;
            }
        }
        if (later) {
            GSource* source = g_timeout_source_new(kNothingToReapMs);
            g_source_set_callback(
                source, [](gpointer c) { return CompleteLater(c, EAGAIN); }, g_object_ref(client),
                g_object_unref);
            g_source_attach(source, g_main_context_get_thread_default());
            g_source_unref(source);
        } else {
            umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
        }
        if (data)
            g_object_unref(data);
        return TRUE;
    }
};

UsbGadget::UsbGadget(UsbGadgetOptions options) : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    impl.options = options;
    impl.ready = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl.ready < 0) {
        throw std::runtime_error("eventfd failed");
    }
    impl.testbed = umockdev_testbed_new();
    const std::string descriptors = Hex(Descriptors(options.vendor, options.product));
    char ids[32];
    std::snprintf(ids, sizeof ids, "%04x\\n\nA: idProduct=%04x", options.vendor, options.product);
    char product[32];
    std::snprintf(product, sizeof product, "%x/%x/100", options.vendor, options.product);
    const std::string record =
        std::string("P: ") + kSysPath + "\nN: bus/usb/001/002=" + descriptors +
        "\nE: DEVNAME=" + kDeviceNode +
        "\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: PRODUCT=" + product +
        "\nE: TYPE=0/0/0\nE: BUSNUM=001\nE: DEVNUM=002\nE: MAJOR=189\nE: MINOR=1"
        "\nE: SUBSYSTEM=usb\nA: busnum=1\\n\nA: devnum=2\\n\nA: speed=480\\n"
        "\nA: bConfigurationValue=1\\n\nA: idVendor=" +
        ids +
        "\\n\nA: manufacturer=termsim\\n\nA: product=Simulated terminal (USB download)\\n"
        "\nH: descriptors=" +
        descriptors + "\nA: dev=189:1\\n\n\nP: " + kSysPath +
        "/1-1:1.0\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\nA: bInterfaceNumber=00\\n"
        "\nA: bNumEndpoints=02\\n\n";
    GError* error = nullptr;
    ThrowUnless(umockdev_testbed_add_from_string(impl.testbed, record.c_str(), &error), error,
                "umockdev testbed");
    impl.handler = umockdev_ioctl_base_new();
    g_signal_connect(
        impl.handler, "handle-ioctl",
        G_CALLBACK(+[](UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) -> gboolean {
            return static_cast<Impl*>(self)->OnIoctl(client);
        }),
        &impl);
    ThrowUnless(umockdev_testbed_attach_ioctl(impl.testbed, kDeviceNode, impl.handler, &error),
                error, "umockdev ioctl handler");
}

UsbGadget::~UsbGadget() = default;

std::string UsbGadget::rootDir() const {
    gchar* root = umockdev_testbed_get_root_dir(impl_->testbed);  // a copy of ours to free
    std::string text = root ? root : "";
    g_free(root);
    return text;
}

int UsbGadget::readyFd() const {
    return impl_->ready;
}

std::vector<UsbImage> UsbGadget::TakeImages() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(impl_->ready, &count, sizeof count);
    std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->received, {});
}

}  // namespace termsim
