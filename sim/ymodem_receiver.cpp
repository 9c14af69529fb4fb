#include "ymodem_receiver.hpp"

#include <algorithm>

#include "checksums.hpp"

namespace termsim {

namespace {

constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEot = 0x04;
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr uint8_t kCan = 0x18;

// The size field of a header: decimal digits after the name's zero byte.
std::optional<uint64_t> HeaderSize(std::span<const uint8_t> field) {
    uint64_t size = 0;
    bool any = false;
    for (uint8_t c : field) {
        if (c < '0' || c > '9') {
            break;
        }
        if (size > (UINT64_MAX - 9) / 10) {
            return std::nullopt;
        }
        size = size * 10 + (c - '0');
        any = true;
    }
    return any ? std::optional<uint64_t>(size) : std::nullopt;
}

}  // namespace

YmodemReceiver::YmodemReceiver(YmodemOptions options, SendFn send, TimePoint now)
    : options_(options),
      send_(std::move(send)),
      lastActivity_(now),
      startTriesLeft_(0),
      nakLeft_(options.nakFirstBlock) {
    AskForHeader(now);
}

size_t YmodemReceiver::Feed(std::span<const uint8_t> bytes, TimePoint now) {
    size_t taken = 0;
    while (taken < bytes.size() && phase_ != Phase::Finished) {
        TakeByte(bytes[taken++], now);
    }
    return taken;
}

void YmodemReceiver::TakeByte(uint8_t byte, TimePoint now) {
    lastActivity_ = now;
    if (packetSize_ != 0) {
        packet_.push_back(byte);
        if (packet_.size() == packetSize_) {
            HandlePacket(now);
        }
        return;
    }
    if (byte == kCan) {
        if (++canCount_ >= 2) {
            Finish(YmodemOutcome::CancelledBySender, "sender cancelled (CAN CAN)");
        }
        return;
    }
    canCount_ = 0;
    if (byte == kSoh || byte == kStx) {
        packetSize_ = byte == kSoh ? 3 + 128 + 2 : 3 + 1024 + 2;
        packet_.assign(1, byte);
    } else if (byte == kEot) {
        if (phase_ == Phase::Data) {
            YmodemFile& file = files_.back();
            file.complete = !file.declaredSize || *file.declaredSize == file.data.size();
            Send(kAck);
            AskForHeader(now);
        } else {
            Send(kAck);  // our ACK of the first EOT was lost: the sender repeats it
        }
    }
    // Anything else between packets is line noise and is ignored.
}

void YmodemReceiver::HandlePacket(TimePoint now) {
    const size_t dataSize = packetSize_ - 5;
    packetSize_ = 0;
    const uint8_t block = packet_[1];
    const auto data = std::span<const uint8_t>(packet_).subspan(3, dataSize);
    const uint16_t crc = static_cast<uint16_t>(packet_[3 + dataSize] << 8 | packet_[4 + dataSize]);
    if (static_cast<uint8_t>(~block) != packet_[2]) {
        Error("block number and its complement disagree", now);
        return;
    }
    if (Crc16(data) != crc) {
        Error("CRC-16 mismatch in block " + std::to_string(block), now);
        return;
    }
    if (phase_ == Phase::Header) {
        if (block != 0) {
            Error("data block " + std::to_string(block) + " while a header was expected", now);
            return;
        }
        HandleHeader(data, now);
    } else {
        HandleData(block, data, now);
    }
}

void YmodemReceiver::HandleHeader(std::span<const uint8_t> data, TimePoint now) {
    const auto nameEnd = std::find(data.begin(), data.end(), uint8_t{0});
    if (nameEnd == data.begin()) {
        Send(kAck);
        Finish(YmodemOutcome::Done, "");
        return;
    }
    YmodemFile file;
    file.name.assign(data.begin(), nameEnd);
    if (nameEnd != data.end()) {
        file.declaredSize = HeaderSize(std::span<const uint8_t>(nameEnd + 1, data.end()));
    }
    if (file.declaredSize && *file.declaredSize > options_.ramLimit) {
        files_.push_back(std::move(file));
        Abort("image of " + std::to_string(*files_.back().declaredSize) +
              " bytes does not fit the RAM");
        return;
    }
    files_.push_back(std::move(file));
    errors_ = 0;
    expectedBlock_ = 1;
    phase_ = Phase::Data;
    Send(kAck);
    Send('C');
    lastActivity_ = now;
}

void YmodemReceiver::HandleData(uint8_t block, std::span<const uint8_t> data, TimePoint now) {
    YmodemFile& file = files_.back();
    if (block == static_cast<uint8_t>(expectedBlock_ - 1)) {
        // Our ACK was lost and the sender repeats the packet: take it once only.
        Send(kAck);
        if (block == 0) {
            Send('C');
        }
        return;
    }
    if (block != expectedBlock_) {
        Abort("block " + std::to_string(block) + " out of sequence, expected " +
              std::to_string(expectedBlock_));
        return;
    }
    if (dataBlocks_ == 0 && nakLeft_ > 0) {
        --nakLeft_;
        ++naksSent_;
        Send(kNak);
        return;
    }
    size_t take = data.size();
    if (file.declaredSize) {
        take = static_cast<size_t>(std::min<uint64_t>(
            take, *file.declaredSize - std::min<uint64_t>(*file.declaredSize, file.data.size())));
    }
    if (file.data.size() + take > options_.ramLimit) {
        Abort("image does not fit the RAM");
        return;
    }
    file.data.insert(file.data.end(), data.begin(), data.begin() + static_cast<long>(take));
    ++file.blocks;
    ++expectedBlock_;
    errors_ = 0;
    Send(kAck);
    if (++dataBlocks_ == static_cast<uint32_t>(options_.cancelAfterBlocks)) {
        Abort("cancelled after " + std::to_string(dataBlocks_) + " blocks (fault)");
    }
    (void)now;
}

void YmodemReceiver::Error(const std::string& why, TimePoint now) {
    lastActivity_ = now;
    if (++errors_ > options_.maxErrors) {
        Abort("too many errors, last: " + why);
        return;
    }
    ++naksSent_;
    Send(kNak);
}

void YmodemReceiver::Abort(const std::string& why) {
    Send(static_cast<char>(kCan));
    Send(static_cast<char>(kCan));
    Finish(YmodemOutcome::Aborted, why);
}

void YmodemReceiver::Finish(YmodemOutcome outcome, std::string why) {
    phase_ = Phase::Finished;
    outcome_ = outcome;
    reason_ = std::move(why);
    packetSize_ = 0;
}

void YmodemReceiver::AskForHeader(TimePoint now) {
    phase_ = Phase::Header;
    startTriesLeft_ = options_.startTries;
    Send('C');
    nextStart_ = now + options_.startInterval;
}

void YmodemReceiver::Advance(TimePoint now) {
    if (phase_ == Phase::Finished) {
        return;
    }
    if (packetSize_ != 0) {
        if (now - lastActivity_ >= options_.byteTimeout) {
            packetSize_ = 0;
            Error("packet stopped after " + std::to_string(packet_.size()) + " bytes", now);
        }
        return;
    }
    if (phase_ == Phase::Header) {
        if (now < nextStart_) {
            return;
        }
        if (--startTriesLeft_ <= 0) {
            Abort(files_.empty() ? "no YMODEM sender" : "no end of batch");
            return;
        }
        Send('C');
        nextStart_ = now + options_.startInterval;
        return;
    }
    if (now - lastActivity_ >= options_.packetTimeout) {
        Error("no data packet", now);
    }
}

std::optional<TimePoint> YmodemReceiver::NextDeadline() const {
    if (phase_ == Phase::Finished) {
        return std::nullopt;
    }
    if (packetSize_ != 0) {
        return lastActivity_ + options_.byteTimeout;
    }
    if (phase_ == Phase::Header) {
        return nextStart_;
    }
    return lastActivity_ + options_.packetTimeout;
}

void YmodemReceiver::Send(char byte) {
    send_(std::string_view(&byte, 1));
}

}  // namespace termsim
