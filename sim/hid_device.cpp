// hidraw as the tool's hidapi sees it, answered from umockdev's worker thread: the report
// descriptor and device info ioctls, and every write() the tool makes. Reads are not intercepted:
// they come from the line umockdev gives the node, where input reports are written whole.
#include "hid_device.hpp"
#include "umockdev_errors.hpp"

#include <linux/hidraw.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace termsim {

namespace {

constexpr const char* kNode = "/dev/hidraw0";
constexpr const char* kUsbPath = "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
// A write larger than this is not a report of this device; it is cut for the record.
constexpr size_t kLargestWrite = 65536;

void Put(std::vector<uint8_t>& out, std::initializer_list<unsigned> bytes) {
    for (unsigned byte : bytes) {
        out.push_back(static_cast<uint8_t>(byte));
    }
}

void PutCount(std::vector<uint8_t>& out, unsigned count) {
    if (count <= 0xFF) {
        Put(out, {0x95, count});
    } else {
        Put(out, {0x96, count & 0xFF, count >> 8});
    }
}

// Vendor page; output report 0x0B of 4173 bytes (frames, and the requests that name their size
// in the id); input reports 1 to 8 of 8 to 1024 bytes with the id.
std::vector<uint8_t> ReportDescriptor() {
    std::vector<uint8_t> d;
    Put(d, {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08});
    Put(d, {0x85, 0x0B, 0x09, 0x02});
    PutCount(d, 4173);
    Put(d, {0x91, 0x02});
    unsigned size = 8;
    for (unsigned id = 1; id <= 8; ++id, size *= 2) {
        Put(d, {0x85, id, 0x09, 0x03});
        PutCount(d, size - 1);
        Put(d, {0x81, 0x02});
    }
    Put(d, {0xC0});
    return d;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char two[3];
    for (uint8_t byte : bytes) {
        std::snprintf(two, sizeof two, "%02X", byte);
        text += two;
    }
    return text;
}

bool Answer(UMockdevIoctlClient* client, UMockdevIoctlData* arg, size_t size, const void* value) {
    GError* error = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, &error);
    if (!data) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return false;
    }
    std::memcpy(data->data, value, size);
    g_object_unref(data);
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
}

}  // namespace

struct HidDevice::Impl {
    HidDeviceOptions options;
    std::vector<uint8_t> descriptor = ReportDescriptor();
    UMockdevTestbed* testbed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    int ready = -1;  // eventfd
    int line = -1;   // the node's line, owned by the testbed

    std::mutex mutex;  // the worker thread and the loop share what follows
    std::vector<HidEvent> events;
    int writes = 0;
    std::vector<UMockdevIoctlClient*> held;  // stalled writes, finished only when termsim ends

    ~Impl() {
        for (UMockdevIoctlClient* client : held) {
            umockdev_ioctl_client_complete(client, -1, EIO);
            g_object_unref(client);
        }
        if (handler) {
            GError* error = nullptr;
            umockdev_testbed_detach_ioctl(testbed, kNode, &error);
            g_clear_error(&error);
            g_object_unref(handler);
        }
        if (testbed)
            g_object_unref(testbed);
        if (ready >= 0)
            ::close(ready);
    }

    void Push(HidEvent event) {
        {
            std::lock_guard lock(mutex);
            events.push_back(std::move(event));
        }
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(ready, &one, sizeof one);
    }

    gboolean OnIoctl(UMockdevIoctlClient* client) {
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        if (request == HIDIOCGRDESCSIZE) {
            // hidapi asks this right after it opened the node: the tool's open.
            const int size = static_cast<int>(descriptor.size());
            if (Answer(client, arg, sizeof size, &size)) {
                HidEvent opened;
                opened.opened = true;
                Push(std::move(opened));
            }
        } else if (request == HIDIOCGRDESC) {
            hidraw_report_descriptor value{};
            value.size = static_cast<uint32_t>(descriptor.size());
            std::memcpy(value.value, descriptor.data(), descriptor.size());
            Answer(client, arg, sizeof value, &value);
        } else if (request == HIDIOCGRAWINFO) {
            hidraw_devinfo info{};
            info.bustype = 3;  // USB
            info.vendor = static_cast<int16_t>(options.vendor);
            info.product = static_cast<int16_t>(options.product);
            Answer(client, arg, sizeof info, &info);
        } else {
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
        }
        return TRUE;
    }

    gboolean OnWrite(UMockdevIoctlClient* client) {
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        const size_t length = arg->data_len;
        HidEvent event;
        event.bytes.assign(arg->data, arg->data + std::min(length, kLargestWrite));
        {
            std::lock_guard lock(mutex);
            ++writes;
            event.refused = writes == options.faults.refuseReport;
            event.stalled = writes == options.faults.stallReport;
            if (event.stalled) {
                held.push_back(static_cast<UMockdevIoctlClient*>(g_object_ref(client)));
            }
        }
        const bool refused = event.refused;
        const bool stalled = event.stalled;
        Push(std::move(event));
        if (stalled) {
            return TRUE;
        }
        if (refused) {
            umockdev_ioctl_client_complete(client, -1, EPIPE);
        } else {
            umockdev_ioctl_client_complete(client, static_cast<glong>(length), 0);
        }
        return TRUE;
    }
};

HidDevice::HidDevice(HidDeviceOptions options) : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    impl.options = options;
    impl.ready = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl.ready < 0) {
        throw std::runtime_error("eventfd failed");
    }
    char ids[96];
    std::snprintf(ids, sizeof ids, "%04X:%04X", options.vendor, options.product);
    char hidId[64];
    std::snprintf(hidId, sizeof hidId, "0003:0000%04X:0000%04X", options.vendor, options.product);
    const std::string hidDir = std::string(kUsbPath) + "/1-2:1.0/0003:" + ids + ".0001";
    char usb[128];
    std::snprintf(usb, sizeof usb,
                  "A: idVendor=%04x\\n\nA: idProduct=%04x\\n\nE: PRODUCT=%x/%x/100", options.vendor,
                  options.product, options.vendor, options.product);
    const std::string record =
        std::string("P: ") + kUsbPath +
        "\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\n" + usb +
        "\nA: bcdDevice=0100\\n\nA: manufacturer=termsim\\n\nA: product=Simulated terminal "
        "(HID)\\n\nA: serial=TERMSIM-HID\\n\nA: busnum=1\\n\nA: devnum=3\\n\n\nP: " +
        kUsbPath +
        "/1-2:1.0\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\nE: INTERFACE=3/0/0\n"
        "E: SUBSYSTEM=usb\nA: bInterfaceNumber=00\\n\nA: bInterfaceClass=03\\n\n\nP: " +
        hidDir + "\nE: DRIVER=hid-generic\nE: HID_ID=" + hidId +
        "\nE: HID_NAME=termsim Simulated terminal (HID)\nE: HID_PHYS=usb-0000:00:14.0-2/input0"
        "\nE: HID_UNIQ=TERMSIM-HID\nE: SUBSYSTEM=hid\nH: report_descriptor=" +
        Hex(impl.descriptor) + "\n\nP: " + hidDir +
        "/hidraw/hidraw0\nN: hidraw0\nE: DEVNAME=/dev/hidraw0\nE: MAJOR=240\nE: MINOR=0"
        "\nE: SUBSYSTEM=hidraw\nA: dev=240:0\\n\nL: device=../../../0003:" +
        ids + ".0001\n";
    impl.testbed = umockdev_testbed_new();
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
    g_signal_connect(
        impl.handler, "handle-write",
        G_CALLBACK(+[](UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) -> gboolean {
            return static_cast<Impl*>(self)->OnWrite(client);
        }),
        &impl);
    ThrowUnless(umockdev_testbed_attach_ioctl(impl.testbed, kNode, impl.handler, &error), error,
                "umockdev ioctl handler");
    impl.line = umockdev_testbed_get_dev_fd(impl.testbed, kNode);
    if (impl.line < 0) {
        throw std::runtime_error("umockdev gave the HID node no line");
    }
}

HidDevice::~HidDevice() = default;

std::string HidDevice::rootDir() const {
    gchar* root = umockdev_testbed_get_root_dir(impl_->testbed);  // a copy of ours to free
    std::string text = root ? root : "";
    g_free(root);
    return text;
}

int HidDevice::readyFd() const {
    return impl_->ready;
}

std::vector<HidEvent> HidDevice::TakeEvents() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(impl_->ready, &count, sizeof count);
    std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->events, {});
}

bool HidDevice::SendInput(std::span<const uint8_t> report) {
    const ssize_t n = ::write(impl_->line, report.data(), report.size());
    return n == static_cast<ssize_t>(report.size());
}

void HidDevice::DropInput() {
    ::tcflush(impl_->line, TCOFLUSH);
}

}  // namespace termsim
