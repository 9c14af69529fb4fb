// The YMODEM batch sender (CRC-16 variant) that puts the kernel image into a terminal's RAM
// after its boot loader has been told to receive. One object per transfer of one file.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "channels/channel_library.h"
#include "channels/channel_list.h"
#include "engine/source_file.h"

namespace termload {

// Results of YModem::Transfer, numbered as the sender has always reported them.
enum class YmodemResult : int {
    Sent = 0,             // file and end-of-batch block acknowledged
    MaxErrors = 3,        // a packet or EOT NAKed more than 10 times in a row
    Timeout = 10,         // the line kept failing (see ReadReply)
    UserCancel = 14,      // the progress callback asked to cancel
    RemoteCancel = 15,    // two CAN bytes in a row from the receiver
    FileReadFailed = 16,  // the open file gave fewer bytes than its size
};

// Progress callback events.
enum class YmodemEvent : std::int32_t {
    Waiting = 0,     // before every read attempt while a reply is awaited; non-zero cancels
    FileOpened = 1,  // the file is open and its size known
    BatchEnded = 2,  // the end-of-batch block was acknowledged
    Started = 3,     // once, when the transfer starts
};

// What the sender tells its callback. Sizes are 64-bit so that no file size wraps.
struct YmodemProgressRecord {
    std::uint64_t total = 0;      // size of the file being sent (0 before a file is open)
    std::uint64_t bytesDone = 0;  // sizes of the files completed in this transfer
    std::uint64_t remaining = 0;  // bytes of the file not yet put into a packet
    std::int32_t retries = 0;     // consecutive failed attempts for the current packet
    std::int32_t filesDone = 0;
    ChannelHandle channel = 0;  // the channel given at creation
    std::uint8_t active = 0;    // 1 once a transfer has started
    std::string fileName;       // the path given to the transfer
};

// Runs on the sender's thread; only the value returned for YmodemEvent::Waiting is used.
using YmodemCallback = std::function<std::int32_t(const YmodemProgressRecord&, YmodemEvent)>;

// The bytes the sender needs from a line. A serial channel implements it today; a slot's link
// will tomorrow. Neither call may block longer than its bound, and a line closed under a
// waiting read must make the read fail at once.
class YmodemPort {
  public:
    virtual ~YmodemPort() = default;
    // Writes all `count` bytes (at most 1029).
    virtual ChannelResult Write(const std::uint8_t* data, std::uint32_t count) = 0;
    // Waits up to `timeout` for one byte: Done with `byte` set, Timeout when none came, Failed
    // when the line failed. A port may bound the wait by its own, shorter or longer, fixed
    // time-out.
    virtual ChannelResult ReadByte(std::uint8_t& byte, std::chrono::milliseconds timeout) = 0;
};

// How long one read of a reply waits before the callback is asked again.
inline constexpr std::chrono::milliseconds kYmodemReplyWait{2000};

class YModem {
  public:
    static constexpr std::uint8_t kSoh = 0x01;
    static constexpr std::uint8_t kStx = 0x02;
    static constexpr std::uint8_t kEot = 0x04;
    static constexpr std::uint8_t kAck = 0x06;
    static constexpr std::uint8_t kNak = 0x15;
    static constexpr std::uint8_t kCan = 0x18;
    static constexpr std::uint8_t kCrcRequest = 'C';

    static constexpr int kMaxNaks = 10;                // resends after NAK before MaxErrors
    static constexpr int kMaxPacketFailedWaits = 5;    // header and data packets
    static constexpr int kMaxClosingFailedWaits = 10;  // EOT and the end-of-batch block
    static constexpr int kMaxReadFailures = 40;        // failed reads within one reply wait

    YModem(YmodemPort& port, ChannelHandle channel, YmodemCallback progress);
    YModem(const YModem&) = delete;
    YModem& operator=(const YModem&) = delete;

    // Sends the file at `path` (UTF-8; none sends only the end-of-batch block) and pauses
    // `delayMs` after each packet. Every result but YmodemResult::Sent has been announced to the
    // receiver with two CAN bytes.
    YmodemResult Transfer(const std::optional<std::string>& path, std::uint32_t delayMs);

    const YmodemProgressRecord& Progress() const { return record_; }

  private:
    // What ReadReply gives besides reply bytes. No reply and a 0 byte are alike: neither is an
    // answer any wait looks for. The negative ones end a wait.
    static constexpr int kNoReply = 0;
    static constexpr int kCancelled = -1;
    static constexpr int kLineFailing = -2;
    static constexpr int kRemoteCancelled = -3;

    // The steps of a transfer return the result that ends it, or nothing while it goes on.
    int ReadReply();
    static YmodemResult ResultOfEndedWait(int reply);
    std::optional<YmodemResult> AwaitRequest();
    int AwaitAnswer();
    std::optional<YmodemResult> SendUntilAcknowledged(void (YModem::*send)(), int maxFailedWaits);

    std::optional<YmodemResult> SendBatch(const std::optional<std::string>& path);
    std::optional<YmodemResult> AwaitReceiverStart();
    std::optional<YmodemResult> SendFile(const std::string& path);
    std::optional<YmodemResult> SendHeader();
    std::optional<YmodemResult> EndBatch();

    void BuildPacket(std::uint32_t dataLength);
    void SendPacket();
    void SendControl(std::uint8_t byte);
    void SendEot();
    bool OpenFile(const std::string& path);
    bool ReadBlock(std::uint32_t length);

    YmodemPort& port_;
    YmodemCallback progress_;
    YmodemProgressRecord record_;
    SourceFile file_;
    std::uint64_t fileOffset_ = 0;
    std::uint32_t dataLength_ = 0;
    int canCount_ = 0;
    std::uint32_t delayMs_ = 0;
    std::uint8_t blockNumber_ = 0;
    // Start byte, block number, its complement, up to 1024 data bytes, CRC high and low.
    std::array<std::uint8_t, 3 + 1024 + 2> packet_{};
};

// The header block's data: name, a zero byte, the size in decimal and a space, all within 128
// bytes. The name is the path (in the terminal's GBK) when it fits, else its file-name part,
// cut short as a last resort so that the size always arrives.
std::string YmodemHeaderData(const std::string& path, std::uint64_t size);

}  // namespace termload
