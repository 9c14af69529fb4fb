#pragma once
// The terminal's file frame receiver: finds frames in the byte stream, checks each one and puts
// the blocks of each file back together. Frames are never answered; the sender paces itself.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace termsim {

enum class FrameFormat { Full, Compact };

inline constexpr size_t kBlockSize = 4096;
inline constexpr uint32_t kMaxFileLength = 0x3FC0000;  // the largest file the tool sends

// Byte positions of one frame format. Both start with the sync bytes and end with trailer and sum.
struct FrameLayout {
    size_t size;
    size_t nameAt;
    size_t nameSize;
    size_t lengthAt;
    size_t crcAt;
    size_t offsetAt;
    size_t dataAt;
    size_t trailerAt;
    size_t sumAt;
};
const FrameLayout& LayoutOf(FrameFormat format);

inline constexpr uint8_t kFrameSync[4] = {0x55, 0x55, 0xAA, 0xAA};
inline constexpr uint8_t kFrameTrailer[4] = {0x55, 0xAA, 0x55, 0xAA};

enum class FrameVerdict { Good, BadTrailer, BadSum, BadFields, Truncated };
const char* VerdictText(FrameVerdict verdict);

struct FrameFields {
    uint8_t fileCount = 0;
    uint8_t blockNumber = 0;
    uint8_t blockCount = 0;
    uint8_t modeCode = 0;
    uint8_t hardwareVersion = 0;
    std::string name;  // destination name, bytes as sent (GBK), up to its first zero
    bool nameTerminated = true;
    uint32_t length = 0;
    uint32_t crc = 0;
    uint32_t offset = 0;
    std::span<const uint8_t> data;  // the whole data field
};

struct FrameCheck {
    FrameVerdict verdict = FrameVerdict::Good;
    std::string problem;  // empty when good
    FrameFields fields;
};

// Checks one frame of the layout's size that starts with the sync bytes.
FrameCheck CheckFrame(std::span<const uint8_t> frame, FrameFormat format);

// One file as the terminal took it in.
struct ReceivedFile {
    std::string name;
    uint32_t length = 0;  // as declared by the frames
    uint32_t crc = 0;     // as declared by the frames
    uint8_t fileCount = 0;
    uint8_t modeCode = 0;
    uint8_t hardwareVersion = 0;
    uint32_t blocksExpected = 0;
    uint32_t blocksReceived = 0;  // good frames of this file
    uint32_t badFrames = 0;       // frames rejected while this file was being received
    uint32_t bytesStored = 0;     // bytes taken in order from the first block
    uint32_t storedCrc = 0;       // CRC-32 of those bytes
    bool complete = false;        // every block arrived, in order
    bool crcOk = false;           // complete and the stored bytes have the declared CRC
    bool restarted = false;       // the sender began this file again from its first block
    std::vector<std::string> problems;

    bool Good() const { return complete && crcOk; }
};

class FrameListener {
  public:
    virtual ~FrameListener() = default;
    virtual void FileStarted(const ReceivedFile& file) = 0;
    virtual void FileData(std::span<const uint8_t> bytes) = 0;
    virtual void FileEnded(const ReceivedFile& file) = 0;
    // False stops the receiver after this frame: Feed returns without taking more bytes.
    virtual bool FrameAccepted(const FrameFields& fields) = 0;
    virtual void FrameRejected(FrameVerdict verdict, const std::string& problem) = 0;
};

class FrameReceiver {
  public:
    FrameReceiver(FrameFormat format, FrameListener& listener);

    // Returns how many bytes were taken: all of them unless the listener asked to stop, or
    // `oneFrame` is set and a frame was checked.
    size_t Feed(std::span<const uint8_t> bytes, bool oneFrame = false);
    // The sender has gone (port closed, unit replaced): a partial frame counts as truncated and a
    // file still open ends incomplete.
    void Flush();

    uint64_t strayBytes() const { return strayBytes_; }
    bool fileOpen() const { return file_.has_value(); }
    // A frame or a file has begun and not ended: the bytes that follow may complete it.
    bool midway() const { return file_.has_value() || !pending_.empty(); }

  private:
    size_t DropToNextSync(size_t from);
    bool Evaluate();
    void Accept(const FrameFields& fields);
    void StartFile(const FrameFields& fields);
    void EndFile(bool restarted);
    void Problem(std::string text);

    FrameFormat format_;
    const FrameLayout& layout_;
    FrameListener& listener_;
    std::vector<uint8_t> pending_;
    uint64_t strayBytes_ = 0;
    std::optional<ReceivedFile> file_;
    uint32_t nextOffset_ = 0;
    bool broken_ = false;
};

}  // namespace termsim
