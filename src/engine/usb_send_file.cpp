#include "engine/usb_send_file.h"

#include <chrono>
#include <fstream>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "channels/usb_image.h"
#include "config/string_table.h"
#include "engine/download_job.h"
#include "engine/download_texts.h"
#include "engine/message_pump.h"
#include "engine/ordinary_file_flow.h"
#include "engine/port_slot_table.h"

namespace termload {

namespace {

constexpr int kDeviceTries = 3;

std::unique_ptr<UsbPipe> OpenPipe(PortSlot& slot, const DownloadJob& job,
                                  const UsbPipeAccess& usb) {
    for (int attempt = 1; attempt <= kDeviceTries && !slot.stop.IsRequested(); ++attempt) {
        UsbPipeStatus status = UsbPipeStatus::kNotFound;
        std::string detail;
        if (auto pipe = usb.open(status, detail)) {
            return pipe;
        }
        if (attempt < kDeviceTries) {
            DelayWithMessages(job.timings.usbDeviceRetryMs, slot.stop);
        }
    }
    return nullptr;
}

enum class ReadResult { Ok, OpenFailed, NoMemory, ShortRead };

// The whole source; a file too large for the image's length field counts as no memory, as the
// image could not be built.
ReadResult ReadSource(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return ReadResult::OpenFailed;
    }
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        return ReadResult::ShortRead;
    }
    if (size > kUsbImageMaxFileBytes) {
        return ReadResult::NoMemory;
    }
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return ReadResult::NoMemory;
    } catch (const std::length_error&) {
        return ReadResult::NoMemory;
    }
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) {
        return ReadResult::ShortRead;
    }
    return ReadResult::Ok;
}

}  // namespace

UsbPipeAccess SystemUsbPipe(const UsbPipeTarget& target) {
    return {[target](std::string& detail) { return UsbPipe::Probe(target, detail); },
            [target](UsbPipeStatus& status, std::string& detail) {
                return UsbPipe::Open(target, status, detail);
            }};
}

bool UsbDevicePresent(PortSlot& slot, const DownloadJob& job, const UsbPipeAccess& usb) {
    for (int attempt = 1; attempt <= kDeviceTries && !slot.stop.IsRequested(); ++attempt) {
        std::string detail;
        if (usb.probe(detail) == UsbPipeStatus::kOk) {
            return true;
        }
        if (attempt < kDeviceTries) {
            DelayWithMessages(job.timings.usbDeviceRetryMs, slot.stop);
        }
    }
    return false;
}

bool UsbSendFile(PortSlot& slot, const DownloadJob& job, const FileToSend& file,
                 const UsbPipeAccess& usb) {
    const int lang = job.langBase;
    const std::unique_ptr<UsbPipe> pipe = OpenPipe(slot, job, usb);
    if (!pipe) {
        slot.status.Show(std::string(TextOf(lang, kTextUsbOpenFailed)));
        return false;
    }

    std::vector<std::uint8_t> bytes;
    switch (ReadSource(file.source, bytes)) {
        case ReadResult::Ok:
            break;
        case ReadResult::OpenFailed:
            slot.status.Show(std::string(TextOf(lang, kTextOpenFile))
                                 .append(file.fileName)
                                 .append(TextOf(lang, kTextFailed)));
            return false;
        case ReadResult::NoMemory:
            slot.status.Show(std::string(TextOf(lang, kTextMemoryFailed)));
            return false;
        case ReadResult::ShortRead:
            slot.status.Show(std::string(TextOf(lang, kTextReadFileFailed)));
            return false;
    }
    const std::uint64_t size = bytes.size();
    slot.status.SetProgressRange(0, static_cast<int>(size / 1024));
    slot.status.SetProgressPosition(0);

    std::optional<std::vector<std::uint8_t>> image;
    try {
        image = BuildUsbImage(job.downloadAddress, bytes);
    } catch (const std::bad_alloc&) {
        image.reset();
    }
    if (!image) {
        slot.status.Show(std::string(TextOf(lang, kTextMemoryFailed)));
        return false;
    }
    bytes = {};

    slot.Table().checksumWatch = ChecksumWatch::Watching;
    // A stop ends a chunk that is under way at once, not after its time-out.
    const StopSubscription cancelOnStop(slot.stop, [&pipe] { pipe->Cancel(); });
    const UsbPipeResult result = UsbSendImage(
        *pipe, *image,
        [&](std::size_t sent) {
            slot.status.SetProgressPosition(static_cast<int>(sent / 1024));
            slot.status.Show(UsbProgressText(lang, file.fileName, sent, size));
        },
        std::chrono::milliseconds(job.timings.usbPipeChunkTimeoutMs));
    return result.status == UsbPipeStatus::kOk;
}

}  // namespace termload
