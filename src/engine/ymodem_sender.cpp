#include "engine/ymodem_sender.h"

#include <algorithm>
#include <filesystem>
#include <span>

#include "config/paths.h"
#include "config/text_encoding.h"
#include "engine/crc16.h"
#include "engine/message_pump.h"
#include "engine/stop_signal.h"

namespace termload {

namespace {

constexpr std::uint32_t kShortBlock = 128;
constexpr std::uint32_t kLongBlock = 1024;

}  // namespace

std::string YmodemHeaderData(const std::string& path, std::uint64_t size) {
    const std::string sizeText = std::to_string(size) + " ";
    const std::size_t room = kShortBlock - 1 - sizeText.size();
    std::string name = Utf8ToGbk(path);
    if (name.size() > room) {
        // The terminal keeps only the last part of the name anyway.
        name = Utf8ToGbk(FileNamePart(path));
        name.resize(std::min(name.size(), room));
    }
    std::string data = name;
    data.push_back('\0');
    data += sizeText;
    return data;
}

YModem::YModem(YmodemPort& port, ChannelHandle channel, YmodemCallback progress)
    : port_(port), progress_(std::move(progress)) {
    record_.channel = channel;
}

// One reply byte; kNoReply when the read timed out; kCancelled when the callback asked to stop,
// kLineFailing when the line failed more than kMaxReadFailures times, kRemoteCancelled at the
// second CAN in a row. Silence alone never ends a wait: only the callback, a failing line or the
// receiver's cancel does.
int YModem::ReadReply() {
    int failures = 0;
    int reply = kNoReply;
    for (;;) {
        if (progress_ && progress_(record_, YmodemEvent::Waiting) != 0) {
            return kCancelled;
        }
        std::uint8_t byte = 0;
        const ChannelResult got = port_.ReadByte(byte, kYmodemReplyWait);
        if (got == ChannelResult::Done) {
            reply = byte;
            break;
        }
        if (got == ChannelResult::Timeout) {
            break;
        }
        if (++failures > kMaxReadFailures) {
            return kLineFailing;
        }
    }
    if (reply == kCan) {
        return ++canCount_ >= 2 ? kRemoteCancelled : kCan;
    }
    canCount_ = 0;
    return reply;
}

// The result that a wait ended with (kCancelled, kLineFailing or kRemoteCancelled) stands for.
YmodemResult YModem::ResultOfEndedWait(int reply) {
    switch (reply) {
        case kCancelled:
            return YmodemResult::UserCancel;
        case kLineFailing:
            return YmodemResult::Timeout;
        default:
            return YmodemResult::RemoteCancel;
    }
}

// Reads past everything until the receiver asks for data with "C".
std::optional<YmodemResult> YModem::AwaitRequest() {
    for (;;) {
        const int reply = ReadReply();
        if (reply == kCrcRequest) {
            return std::nullopt;
        }
        if (reply < 0) {
            return ResultOfEndedWait(reply);
        }
    }
}

// Reads past everything but ACK and NAK, or until the wait ends.
int YModem::AwaitAnswer() {
    for (;;) {
        const int reply = ReadReply();
        if (reply == kAck || reply == kNak || reply < 0) {
            return reply;
        }
    }
}

// Sends with `send` until the receiver answers ACK. A NAK, or a wait that the failing line
// ended, sends again: one count for both, more than kMaxNaks NAKs or `maxFailedWaits` failed
// waits end the transfer.
std::optional<YmodemResult> YModem::SendUntilAcknowledged(void (YModem::*send)(),
                                                          int maxFailedWaits) {
    for (;;) {
        (this->*send)();
        switch (const int answer = AwaitAnswer()) {
            case kAck:
                return std::nullopt;
            case kNak:
                if (++record_.retries > kMaxNaks) {
                    return YmodemResult::MaxErrors;
                }
                break;
            case kLineFailing:
                if (++record_.retries > maxFailedWaits) {
                    return YmodemResult::Timeout;
                }
                break;
            default:
                return ResultOfEndedWait(answer);
        }
    }
}

void YModem::BuildPacket(std::uint32_t dataLength) {
    dataLength_ = dataLength;
    packet_[0] = dataLength == kLongBlock ? kStx : kSoh;
    packet_[1] = blockNumber_;
    packet_[2] = static_cast<std::uint8_t>(255 - blockNumber_);
    const std::uint16_t crc = Crc16Xmodem(packet_.data() + 3, dataLength);
    packet_[3 + dataLength] = static_cast<std::uint8_t>(crc >> 8);
    packet_[4 + dataLength] = static_cast<std::uint8_t>(crc & 0xFF);
}

// A lost or refused packet shows up as a missing or negative reply, so the write's result is
// not looked at.
void YModem::SendPacket() {
    port_.Write(packet_.data(), dataLength_ + 5);
    if (delayMs_ > 0) {
        DelayWithMessages(delayMs_);
    }
}

void YModem::SendControl(std::uint8_t byte) {
    port_.Write(&byte, 1);
}

void YModem::SendEot() {
    SendControl(kEot);
}

bool YModem::OpenFile(const std::string& path) {
    file_ = SourceFile(PathFromUtf8(path));
    if (!file_.IsOpen()) {
        return false;
    }
    const std::int64_t size = file_.Size();
    if (size < 0) {
        file_.Close();
        return false;
    }
    fileOffset_ = 0;
    record_.total = record_.remaining = static_cast<std::uint64_t>(size);
    return true;
}

// Reads the next min(remaining, length) bytes; the rest of the data field stays zero.
bool YModem::ReadBlock(std::uint32_t length) {
    const auto want =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(record_.remaining, length));
    std::fill_n(packet_.begin() + 3, kLongBlock, std::uint8_t{0});
    const std::size_t got = file_.ReadAt(fileOffset_, std::span(packet_.data() + 3, want));
    if (got != want) {
        return false;
    }
    fileOffset_ += want;
    record_.remaining -= want;
    BuildPacket(length);
    return true;
}

YmodemResult YModem::Transfer(const std::optional<std::string>& path, std::uint32_t delayMs) {
    delayMs_ = delayMs;
    record_.bytesDone = 0;
    record_.filesDone = 0;
    record_.active = 1;
    canCount_ = 0;
    if (progress_) {
        progress_(record_, YmodemEvent::Started);
    }
    const std::optional<YmodemResult> failure = SendBatch(path);
    if (failure) {
        SendControl(kCan);
        SendControl(kCan);
    }
    file_.Close();
    return failure.value_or(YmodemResult::Sent);
}

// A batch of one file, then the empty block 0 that ends it. A file that cannot be opened is not
// an error: the batch ends without it.
std::optional<YmodemResult> YModem::SendBatch(const std::optional<std::string>& path) {
    if (const auto failure = AwaitReceiverStart()) {
        return failure;
    }
    if (path) {
        record_.fileName = *path;
        if (OpenFile(*path)) {
            if (const auto failure = SendFile(*path)) {
                return failure;
            }
        }
    }
    return EndBatch();
}

// The receiver's "C" that begins the batch, and the one after a file's EOT.
std::optional<YmodemResult> YModem::AwaitReceiverStart() {
    file_.Close();
    record_.retries = 0;
    record_.remaining = 0;
    record_.total = 0;
    return AwaitRequest();
}

// The open file: header block 0 with its name and size, data blocks 1, 2, ... and EOT.
std::optional<YmodemResult> YModem::SendFile(const std::string& path) {
    if (progress_) {
        progress_(record_, YmodemEvent::FileOpened);
    }
    blockNumber_ = 0;
    std::fill_n(packet_.begin(), 3 + kShortBlock + 2, std::uint8_t{0});
    const std::string header = YmodemHeaderData(path, record_.total);
    std::copy(header.begin(), header.end(), packet_.begin() + 3);
    BuildPacket(kShortBlock);
    if (const auto failure = SendHeader()) {
        return failure;
    }
    while (record_.remaining > 0) {
        ++blockNumber_;  // wraps past 255, as the protocol does
        if (!ReadBlock(record_.remaining >= kLongBlock ? kLongBlock : kShortBlock)) {
            // Padding a shrunken file would hand the terminal a corrupt image.
            return YmodemResult::FileReadFailed;
        }
        if (const auto failure =
                SendUntilAcknowledged(&YModem::SendPacket, kMaxPacketFailedWaits)) {
            return failure;
        }
        record_.retries = 0;
    }
    file_.Close();
    record_.bytesDone += record_.total;
    ++record_.filesDone;
    if (const auto failure = SendUntilAcknowledged(&YModem::SendEot, kMaxClosingFailedWaits)) {
        return failure;
    }
    return AwaitReceiverStart();
}

// The header packet until the receiver acknowledges it and asks for the data. A line that fails
// while the request is awaited counts as a failed wait for the header, which goes again.
std::optional<YmodemResult> YModem::SendHeader() {
    for (;;) {
        if (const auto failure =
                SendUntilAcknowledged(&YModem::SendPacket, kMaxPacketFailedWaits)) {
            return failure;
        }
        record_.retries = 0;
        const std::optional<YmodemResult> failure = AwaitRequest();
        if (failure != YmodemResult::Timeout) {
            return failure;  // the request came, or the wait ended for good
        }
        if (++record_.retries > kMaxPacketFailedWaits) {
            return failure;
        }
    }
}

// The empty block 0 that tells the receiver no more files follow.
std::optional<YmodemResult> YModem::EndBatch() {
    blockNumber_ = 0;
    record_.retries = 0;
    std::fill_n(packet_.begin() + 3, kShortBlock, std::uint8_t{0});
    BuildPacket(kShortBlock);
    if (const auto failure = SendUntilAcknowledged(&YModem::SendPacket, kMaxClosingFailedWaits)) {
        return failure;
    }
    if (progress_) {
        progress_(record_, YmodemEvent::BatchEnded);
    }
    return std::nullopt;
}

}  // namespace termload
