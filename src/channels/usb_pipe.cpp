#include "channels/usb_pipe.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "config/ini_document.h"

namespace termload {

namespace {

std::optional<std::uint16_t> Hex16(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<UsbDeviceId> ParseUsbDeviceId(std::string_view text) {
    text = Trimmed(text);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto vendor = Hex16(text.substr(0, colon));
    const auto product = Hex16(text.substr(colon + 1));
    if (!vendor || !product) {
        return std::nullopt;
    }
    return UsbDeviceId{*vendor, *product};
}

std::string FormatUsbDeviceId(UsbDeviceId id) {
    char text[12];
    std::snprintf(text, sizeof text, "%04x:%04x", id.vendor, id.product);
    return text;
}

std::optional<UsbDeviceId> ReadUsbPipeDevice(const std::filesystem::path& store) {
    IniDocument document;
    if (document.Load(store) != IniDocument::LoadStatus::Ok) {
        return std::nullopt;
    }
    return ParseUsbDeviceId(document.ReadString("UsbPipe", "Device", ""));
}

UsbPipeResult UsbSendImage(UsbPipe& pipe, std::span<const std::uint8_t> image,
                           const std::function<void(std::size_t sent)>& progress,
                           std::chrono::milliseconds chunkTimeout) {
    std::size_t sent = 0;
    while (sent < image.size()) {
        const std::size_t chunk = std::min(image.size() - sent, kUsbPipeChunk);
        UsbPipeResult result = pipe.Write(image.subspan(sent, chunk), chunkTimeout);
        sent += result.bytes;
        if (result.status != UsbPipeStatus::kOk) {
            result.bytes = sent;
            return result;
        }
        if (progress) {
            progress(sent);
        }
    }
    return {UsbPipeStatus::kOk, sent, {}};
}

}  // namespace termload
