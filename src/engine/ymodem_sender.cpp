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

enum class State {
    WaitStart,
    NextFile,
    Open,
    SendHeader,
    HeaderReply,
    HeaderTimeout,
    HeaderNak,
    WaitDataStart,
    NextBlock,
    ReadShort,
    ReadLong,
    SendData,
    DataReply,
    DataTimeout,
    DataNak,
    FileDone,
    SendEot,
    EotReply,
    EotTimeout,
    EotNak,
    EndBlock,
    SendEnd,
    EndReply,
    EndTimeout,
    EndNak,
    Abort,
    Finish,
};

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

// One reply byte, kNoReply when the read timed out, kCancelled when the callback asked to stop,
// kLineFailing when the line failed more than kMaxReadFailures times. Silence alone never ends
// a wait: only the callback or a failing line does.
int YModem::ReadReply() {
    int failures = 0;
    int reply = kNoReply;
    for (;;) {
        if (progress_ && progress_(record_, YmodemEvent::Waiting) != 0) {
            return kCancelled;
        }
        std::uint8_t byte = 0;
        const int got = port_.ReadByte(byte, kYmodemReplyWait);
        if (got > 0) {
            reply = byte;
            break;
        }
        if (got == 0) {
            break;
        }
        if (++failures > kMaxReadFailures) {
            return kLineFailing;
        }
    }
    if (reply != kCan) {
        canCount_ = 0;
    }
    return reply;
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

int YModem::Transfer(const std::optional<std::string>& path, std::uint32_t delayMs) {
    delayMs_ = delayMs;
    record_.bytesDone = 0;
    record_.filesDone = 0;
    record_.active = 1;
    canCount_ = 0;
    if (progress_) {
        progress_(record_, YmodemEvent::Started);
    }
    int fileNumber = -1;
    int result = kYmodemSent;
    State state = State::WaitStart;

    // The reply of a state that reads: a CAN counts towards the pair that ends the transfer,
    // anything else ends the count.
    enum class Reply { Byte, Again, Cancelled, Failing };
    int reply = 0;
    auto read = [&]() {
        reply = ReadReply();
        if (reply == kCancelled) {
            return Reply::Cancelled;
        }
        if (reply == kLineFailing) {
            return Reply::Failing;
        }
        if (reply == kCan) {
            if (++canCount_ >= 2) {
                result = kYmodemRemoteCancel;
                state = State::Abort;
            }
            return Reply::Again;
        }
        return Reply::Byte;
    };
    // Common handling of a read in a state that waits for ACK or NAK.
    auto awaitAnswer = [&](State onAck, State onNak, State onFailing) {
        switch (read()) {
            case Reply::Cancelled:
                result = kYmodemUserCancel;
                state = State::Abort;
                return;
            case Reply::Failing:
                result = kYmodemTimeout;
                state = onFailing;
                return;
            case Reply::Again:
                return;
            case Reply::Byte:
                if (reply == kAck) {
                    state = onAck;
                } else if (reply == kNak) {
                    state = onNak;
                }
                return;
        }
    };
    auto retry = [&](int limit, int limitResult, State again) {
        if (++record_.retries > limit) {
            result = limitResult;
            state = State::Abort;
        } else {
            state = again;
        }
    };

    for (;;) {
        switch (state) {
            case State::WaitStart:
                file_.Close();
                record_.retries = 0;
                record_.remaining = 0;
                record_.total = 0;
                switch (read()) {
                    case Reply::Cancelled:
                        result = kYmodemUserCancel;
                        state = State::Abort;
                        break;
                    case Reply::Failing:
                        result = kYmodemTimeout;
                        state = State::Abort;
                        break;
                    case Reply::Again:
                        break;
                    case Reply::Byte:
                        if (reply == kCrcRequest) {
                            state = State::NextFile;
                        }
                        break;
                }
                break;
            case State::NextFile:
                ++fileNumber;
                if (fileNumber > 0) {
                    state = State::EndBlock;
                } else if (path) {
                    state = State::Open;
                }
                break;
            case State::Open: {
                blockNumber_ = 0;
                record_.fileName = *path;
                if (!OpenFile(*path)) {
                    // Not an error: the batch ends without the file.
                    state = State::NextFile;
                    break;
                }
                if (progress_) {
                    progress_(record_, YmodemEvent::FileOpened);
                }
                std::fill_n(packet_.begin(), 3 + kShortBlock + 2, std::uint8_t{0});
                const std::string header = YmodemHeaderData(*path, record_.total);
                std::copy(header.begin(), header.end(), packet_.begin() + 3);
                BuildPacket(kShortBlock);
                state = State::SendHeader;
                break;
            }
            case State::SendHeader:
                SendPacket();
                state = State::HeaderReply;
                break;
            case State::HeaderReply:
                awaitAnswer(State::WaitDataStart, State::HeaderNak, State::HeaderTimeout);
                break;
            case State::HeaderTimeout:
                retry(kMaxPacketFailedWaits, kYmodemTimeout, State::SendHeader);
                break;
            case State::HeaderNak:
                retry(kMaxNaks, kYmodemMaxErrors, State::SendHeader);
                break;
            case State::WaitDataStart:
                record_.retries = 0;
                switch (read()) {
                    case Reply::Cancelled:
                        result = kYmodemUserCancel;
                        state = State::Abort;
                        break;
                    case Reply::Failing:
                        result = kYmodemTimeout;
                        state = State::HeaderTimeout;
                        break;
                    case Reply::Again:
                        break;
                    case Reply::Byte:
                        if (reply == kCrcRequest) {
                            record_.retries = 0;
                            state = State::NextBlock;
                        }
                        break;
                }
                break;
            case State::NextBlock:
                ++blockNumber_;  // wraps past 255, as the protocol does
                if (record_.remaining == 0) {
                    state = State::FileDone;
                } else {
                    state = record_.remaining >= kLongBlock ? State::ReadLong : State::ReadShort;
                }
                break;
            case State::ReadShort:
            case State::ReadLong:
                if (ReadBlock(state == State::ReadLong ? kLongBlock : kShortBlock)) {
                    state = State::SendData;
                } else {
                    // Padding a shrunken file would hand the terminal a corrupt image.
                    result = kYmodemFileReadFailed;
                    state = State::Abort;
                }
                break;
            case State::SendData:
                SendPacket();
                state = State::DataReply;
                break;
            case State::DataReply:
                awaitAnswer(State::NextBlock, State::DataNak, State::DataTimeout);
                if (state == State::NextBlock) {
                    record_.retries = 0;
                }
                break;
            case State::DataTimeout:
                retry(kMaxPacketFailedWaits, kYmodemTimeout, State::SendData);
                break;
            case State::DataNak:
                retry(kMaxNaks, kYmodemMaxErrors, State::SendData);
                break;
            case State::FileDone:
                file_.Close();
                result = kYmodemSent;
                record_.bytesDone += record_.total;
                ++record_.filesDone;
                state = State::SendEot;
                break;
            case State::SendEot:
                SendControl(kEot);
                state = State::EotReply;
                break;
            case State::EotReply:
                awaitAnswer(State::WaitStart, State::EotNak, State::EotTimeout);
                break;
            case State::EotTimeout:
                retry(kMaxClosingFailedWaits, kYmodemTimeout, State::SendEot);
                break;
            case State::EotNak:
                retry(kMaxNaks, kYmodemMaxErrors, State::SendEot);
                break;
            case State::EndBlock:
                blockNumber_ = 0;
                record_.retries = 0;
                std::fill_n(packet_.begin() + 3, kShortBlock, std::uint8_t{0});
                BuildPacket(kShortBlock);
                state = State::SendEnd;
                break;
            case State::SendEnd:
                SendPacket();
                state = State::EndReply;
                break;
            case State::EndReply:
                awaitAnswer(State::Finish, State::EndNak, State::EndTimeout);
                if (state == State::Finish) {
                    result = kYmodemSent;
                    if (progress_) {
                        progress_(record_, YmodemEvent::BatchEnded);
                    }
                }
                break;
            case State::EndTimeout:
                retry(kMaxClosingFailedWaits, kYmodemTimeout, State::SendEnd);
                break;
            case State::EndNak:
                retry(kMaxNaks, kYmodemMaxErrors, State::SendEnd);
                break;
            case State::Abort:
                SendControl(kCan);
                SendControl(kCan);
                state = State::Finish;
                break;
            case State::Finish:
                file_.Close();
                return result;
        }
    }
}

}  // namespace termload
