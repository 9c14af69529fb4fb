// One file through the terminal's USB bulk pipe: the device looked for, the image built from the
// source and sent in chunks, its progress in the slot's status. The terminal's verdict on the
// image comes on the console (ChecksumWatch), not here.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "channels/usb_pipe.h"

namespace termload {

class PortSlot;
struct DownloadJob;
struct FileToSend;

// How the flows reach the terminal's USB device: through the system's USB library, or a test's
// device.
struct UsbPipeAccess {
    std::function<UsbPipeStatus(std::string& detail)> probe;
    std::function<std::unique_ptr<UsbPipe>(UsbPipeStatus& status, std::string& detail)> open;
};
UsbPipeAccess SystemUsbPipe(const UsbPipeTarget& target);

// Up to three looks for the device, usbDeviceRetryMs apart; false at once on a stop.
bool UsbDevicePresent(PortSlot& slot, const DownloadJob& job, const UsbPipeAccess& usb);

// Opens the pipe (three tries, usbDeviceRetryMs apart), builds the image of the file at the
// job's download address, arms ChecksumWatch and sends the image, each 8192-byte chunk within
// usbPipeChunkTimeoutMs. A stop ends the transfer at once. Every failure is shown in the slot's
// status; true when the whole image went out.
bool UsbSendFile(PortSlot& slot, const DownloadJob& job, const FileToSend& file,
                 const UsbPipeAccess& usb);

}  // namespace termload
