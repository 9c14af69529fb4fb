#pragma once
// The terminal's USB side in download mode: one device with a bulk OUT pipe, served to other
// processes through an umockdev testbed that termsim owns. A process started with umockdev's
// preload and the testbed's directory in its environment (DIR/env) finds the device through
// its real libusb and writes to it. Received images come out on the event loop's thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "usb_image_check.hpp"

namespace termsim {

struct UsbGadgetFaults {
    int badSums = 0;               // the first N images arrive with their sum damaged
    int64_t stallAfterBytes = -1;  // stops taking data once an image would pass this many bytes
    int stallImages = 1;           // images that stall (0: every one); the stall ends when the
                                   // host lets go of the device
};

struct UsbGadgetOptions {
    uint16_t vendor = 0x5345;
    uint16_t product = 0x1234;
    UsbGadgetFaults faults;
};

class UsbGadget {
  public:
    // Throws std::runtime_error when the testbed cannot be set up.
    explicit UsbGadget(UsbGadgetOptions options);
    ~UsbGadget();
    UsbGadget(const UsbGadget&) = delete;
    UsbGadget& operator=(const UsbGadget&) = delete;

    // The testbed's root: UMOCKDEV_DIR for the tool.
    std::string rootDir() const;
    // Readable while images wait in TakeImages.
    int readyFd() const;
    // Images received (or cut off) since the last call, in order.
    std::vector<UsbImage> TakeImages();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The preload library a tool process needs for the testbed.
inline constexpr const char* kUmockdevPreload = "libumockdev-preload.so.0";

}  // namespace termsim
