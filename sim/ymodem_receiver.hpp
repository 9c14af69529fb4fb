#pragma once
// The terminal's YMODEM receiver: CRC-16 packets of 128 and 1024 bytes, a header block 0 with
// name and size, EOT after the data, and an empty block 0 that ends the batch. It asks for each
// header with "C", answers ACK or NAK per packet and cancels with two CAN bytes.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim_time.hpp"

namespace termsim {

struct YmodemOptions {
    Duration startInterval = milliseconds(1000);   // between "C"s while no header has come
    int startTries = 60;                           // "C"s sent before giving up on a sender
    Duration byteTimeout = milliseconds(1000);     // silence inside a packet: drop it, NAK
    Duration packetTimeout = milliseconds(10000);  // silence between data packets: NAK
    int maxErrors = 10;                            // consecutive errors before cancelling
    size_t ramLimit = 64u << 20;                   // the largest image the RAM takes
    int nakFirstBlock = 0;       // fault: answer the first data packet with NAK this many times
    int cancelAfterBlocks = -1;  // fault: send CAN CAN after this many data packets
};

struct YmodemFile {
    std::string name;  // as the header carries it (often the sender's full path)
    std::optional<uint64_t> declaredSize;
    std::vector<uint8_t> data;
    uint32_t blocks = 0;    // data packets taken
    bool complete = false;  // EOT came and the size matched the header's
};

enum class YmodemOutcome { Running, Done, CancelledBySender, Aborted };

class YmodemReceiver {
  public:
    using SendFn = std::function<void(std::string_view)>;

    // Starts at once by sending the first "C".
    YmodemReceiver(YmodemOptions options, SendFn send, TimePoint now);

    // Takes bytes until the session ends; returns how many it took (the rest is not YMODEM).
    size_t Feed(std::span<const uint8_t> bytes, TimePoint now);
    void Advance(TimePoint now);
    std::optional<TimePoint> NextDeadline() const;

    YmodemOutcome outcome() const { return outcome_; }
    const std::string& reason() const { return reason_; }
    const std::vector<YmodemFile>& files() const { return files_; }
    uint32_t naksSent() const { return naksSent_; }

  private:
    enum class Phase { Header, Data, Finished };

    void TakeByte(uint8_t byte, TimePoint now);
    void HandlePacket(TimePoint now);
    void HandleHeader(std::span<const uint8_t> data, TimePoint now);
    void HandleData(uint8_t block, std::span<const uint8_t> data, TimePoint now);
    void Error(const std::string& why, TimePoint now);
    void Abort(const std::string& why);
    void Finish(YmodemOutcome outcome, std::string why);
    void AskForHeader(TimePoint now);
    void Send(char byte);

    YmodemOptions options_;
    SendFn send_;
    Phase phase_ = Phase::Header;
    YmodemOutcome outcome_ = YmodemOutcome::Running;
    std::string reason_;
    std::vector<YmodemFile> files_;

    std::vector<uint8_t> packet_;
    size_t packetSize_ = 0;  // 0 while not inside a packet
    TimePoint lastActivity_;
    TimePoint nextStart_;
    int startTriesLeft_;
    int errors_ = 0;
    int canCount_ = 0;
    uint8_t expectedBlock_ = 1;
    int nakLeft_;
    uint32_t dataBlocks_ = 0;
    uint32_t naksSent_ = 0;
};

}  // namespace termsim
