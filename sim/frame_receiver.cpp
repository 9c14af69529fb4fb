#include "frame_receiver.hpp"

#include <algorithm>
#include <cstdio>

#include "checksums.hpp"

namespace termsim {

namespace {

constexpr FrameLayout kFullLayout{4173, 9, 51, 60, 64, 68, 72, 4168, 4172};
constexpr FrameLayout kCompactLayout{4137, 9, 15, 24, 28, 32, 36, 4132, 4136};

uint32_t BigEndian32(std::span<const uint8_t> frame, size_t at) {
    return static_cast<uint32_t>(frame[at]) << 24 | static_cast<uint32_t>(frame[at + 1]) << 16 |
           static_cast<uint32_t>(frame[at + 2]) << 8 | frame[at + 3];
}

uint32_t BlocksOf(uint32_t length) {
    return (length + kBlockSize - 1) / kBlockSize;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// Does the tail of pending from position `from` start like a sync (fully or as far as it goes)?
bool StartsLikeSync(const std::vector<uint8_t>& pending, size_t from) {
    const size_t n = std::min(pending.size() - from, sizeof kFrameSync);
    return std::equal(pending.begin() + static_cast<std::ptrdiff_t>(from),
                      pending.begin() + static_cast<std::ptrdiff_t>(from + n), kFrameSync);
}

}  // namespace

const FrameLayout& LayoutOf(FrameFormat format) {
    return format == FrameFormat::Full ? kFullLayout : kCompactLayout;
}

const char* VerdictText(FrameVerdict verdict) {
    switch (verdict) {
        case FrameVerdict::Good:
            return "good";
        case FrameVerdict::BadTrailer:
            return "bad trailer";
        case FrameVerdict::BadSum:
            return "bad frame sum";
        case FrameVerdict::BadFields:
            return "inconsistent fields";
        case FrameVerdict::Truncated:
            return "truncated frame";
    }
    return "?";
}

FrameCheck CheckFrame(std::span<const uint8_t> frame, FrameFormat format) {
    const FrameLayout& layout = LayoutOf(format);
    FrameCheck check;
    if (frame.size() != layout.size ||
        !std::equal(frame.begin(), frame.begin() + 4, std::begin(kFrameSync))) {
        check.verdict = FrameVerdict::Truncated;
        check.problem = "frame size or sync wrong";
        return check;
    }
    if (!std::equal(std::begin(kFrameTrailer), std::end(kFrameTrailer),
                    frame.begin() + static_cast<std::ptrdiff_t>(layout.trailerAt))) {
        check.verdict = FrameVerdict::BadTrailer;
        check.problem = "trailer is not 55 AA 55 AA";
        return check;
    }
    // The sum covers everything between sync and trailer. The compact frame leaves out only name
    // bytes that are zero in the full frame, so the same sum holds for both.
    const uint8_t sum = Sum8(frame.subspan(4, layout.trailerAt - 4));
    if (sum != frame[layout.sumAt]) {
        check.verdict = FrameVerdict::BadSum;
        check.problem = "frame sum " + Hex(frame[layout.sumAt]) + ", computed " + Hex(sum);
        return check;
    }

    FrameFields& f = check.fields;
    f.fileCount = frame[4];
    f.blockNumber = frame[5];
    f.blockCount = frame[6];
    f.modeCode = frame[7];
    f.hardwareVersion = frame[8];
    const auto nameField = frame.subspan(layout.nameAt, layout.nameSize);
    const auto nameEnd = std::find(nameField.begin(), nameField.end(), uint8_t{0});
    f.nameTerminated = nameEnd != nameField.end();
    f.name.assign(nameField.begin(), nameEnd);
    f.length = BigEndian32(frame, layout.lengthAt);
    f.crc = BigEndian32(frame, layout.crcAt);
    f.offset = BigEndian32(frame, layout.offsetAt);
    f.data = frame.subspan(layout.dataAt, kBlockSize);

    auto fail = [&check](std::string problem) {
        check.verdict = FrameVerdict::BadFields;
        check.problem = std::move(problem);
        return check;
    };
    if (f.length == 0) {
        return fail("frame for a file of 0 bytes");
    }
    if (f.length > kMaxFileLength) {
        return fail("file length " + Hex(f.length) + " above the limit");
    }
    if (f.blockCount != (BlocksOf(f.length) & 0xFF)) {
        return fail("block count " + std::to_string(f.blockCount) + " does not match length " +
                    std::to_string(f.length));
    }
    if (f.offset % kBlockSize != 0 || f.offset >= f.length) {
        return fail("block offset " + Hex(f.offset) + " outside file of length " +
                    std::to_string(f.length));
    }
    if (f.blockNumber != ((f.offset / kBlockSize) & 0xFF)) {
        return fail("block number " + std::to_string(f.blockNumber) + " does not match offset " +
                    Hex(f.offset));
    }
    return check;
}

FrameReceiver::FrameReceiver(FrameFormat format, FrameListener& listener)
    : format_(format), layout_(LayoutOf(format)), listener_(listener) {
    pending_.reserve(layout_.size);
}

size_t FrameReceiver::Feed(std::span<const uint8_t> bytes, bool oneFrame) {
    const size_t total = bytes.size();
    while (!bytes.empty()) {
        if (pending_.size() < sizeof kFrameSync) {
            pending_.push_back(bytes.front());
            bytes = bytes.subspan(1);
            if (!StartsLikeSync(pending_, 0)) {
                strayBytes_ += DropToNextSync(1);
            }
            continue;
        }
        const size_t take = std::min(bytes.size(), layout_.size - pending_.size());
        pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
        bytes = bytes.subspan(take);
        if (pending_.size() == layout_.size && (!Evaluate() || oneFrame)) {
            break;
        }
    }
    return total - bytes.size();
}

// Drops the bytes before the first position at or after `from` that looks like a sync; returns
// how many were dropped.
size_t FrameReceiver::DropToNextSync(size_t from) {
    size_t start = from;
    while (start < pending_.size() && !StartsLikeSync(pending_, start)) {
        ++start;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(start));
    return start;
}

// Checks the collected frame; false when the listener wants no more bytes.
bool FrameReceiver::Evaluate() {
    const FrameCheck check = CheckFrame(pending_, format_);
    if (check.verdict != FrameVerdict::Good) {
        if (file_) {
            ++file_->badFrames;
        }
        listener_.FrameRejected(check.verdict, check.problem);
        // A byte lost or added inside a frame shifts the next frame's sync into this one: look
        // for it there instead of throwing a good frame away.
        DropToNextSync(1);
        return true;
    }
    const bool more = listener_.FrameAccepted(check.fields);
    Accept(check.fields);
    pending_.clear();
    return more;
}

void FrameReceiver::Accept(const FrameFields& fields) {
    const bool sameFile = file_ && file_->name == fields.name && file_->length == fields.length &&
                          file_->crc == fields.crc;
    if (!sameFile || fields.offset == 0) {
        if (file_) {
            EndFile(sameFile);
        }
        StartFile(fields);
    }
    if (!fields.nameTerminated && file_->problems.empty()) {
        Problem("destination name fills its field without a terminating zero");
    }
    if (fields.fileCount != file_->fileCount) {
        Problem("file count changed from " + std::to_string(file_->fileCount) + " to " +
                std::to_string(fields.fileCount) + " within the file");
    }
    if (fields.offset < nextOffset_) {
        Problem("block at offset " + Hex(fields.offset) + " received twice");
        return;
    }
    ++file_->blocksReceived;
    if (fields.offset == nextOffset_ && !broken_) {
        const size_t size = std::min<size_t>(kBlockSize, fields.length - fields.offset);
        const auto bytes = fields.data.first(size);
        file_->storedCrc = Crc32(file_->storedCrc, bytes);
        file_->bytesStored += static_cast<uint32_t>(size);
        nextOffset_ += kBlockSize;
        listener_.FileData(bytes);
    } else if (!broken_) {
        broken_ = true;
        Problem("block at offset " + Hex(nextOffset_) + " missing");
    }
    if (fields.offset + kBlockSize >= fields.length) {
        EndFile(false);
    }
}

void FrameReceiver::StartFile(const FrameFields& fields) {
    ReceivedFile file;
    file.name = fields.name;
    file.length = fields.length;
    file.crc = fields.crc;
    file.fileCount = fields.fileCount;
    file.modeCode = fields.modeCode;
    file.hardwareVersion = fields.hardwareVersion;
    file.blocksExpected = BlocksOf(fields.length);
    file_ = std::move(file);
    nextOffset_ = 0;
    broken_ = false;
    listener_.FileStarted(*file_);
}

void FrameReceiver::EndFile(bool restarted) {
    ReceivedFile& file = *file_;
    file.restarted = restarted;
    file.complete = !broken_ && file.bytesStored == file.length;
    file.crcOk = file.complete && file.storedCrc == file.crc;
    if (restarted) {
        Problem("sender began the file again from its first block");
    } else if (!file.complete && !broken_) {
        Problem("ended after " + std::to_string(file.blocksReceived) + " of " +
                std::to_string(file.blocksExpected) + " blocks");
    }
    if (file.complete && !file.crcOk) {
        Problem("CRC-32 of the received bytes is " + Hex(file.storedCrc) + ", declared " +
                Hex(file.crc));
    }
    listener_.FileEnded(file);
    file_.reset();
    nextOffset_ = 0;
    broken_ = false;
}

void FrameReceiver::Flush() {
    if (pending_.size() >= sizeof kFrameSync) {
        if (file_) {
            ++file_->badFrames;
        }
        listener_.FrameRejected(FrameVerdict::Truncated, std::to_string(pending_.size()) +
                                                             " bytes of a frame, then silence");
    } else {
        strayBytes_ += pending_.size();
    }
    pending_.clear();
    if (file_) {
        EndFile(false);
    }
}

void FrameReceiver::Problem(std::string text) {
    if (file_->problems.size() < 16) {
        file_->problems.push_back(std::move(text));
    }
}

}  // namespace termsim
