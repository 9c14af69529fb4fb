// termsim's YMODEM receiver, driven packet by packet with made-up times.
#include <gtest/gtest.h>

#include <algorithm>

#include "checksums.hpp"
#include "ymodem_receiver.hpp"

namespace termsim {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr char kAck = 0x06, kNak = 0x15, kCan = 0x18;

Bytes Packet(uint8_t block, const Bytes& data, size_t size) {
    Bytes packet = {static_cast<uint8_t>(size == 128 ? 0x01 : 0x02), block,
                    static_cast<uint8_t>(255 - block)};
    Bytes field(size, 0);
    std::copy_n(data.begin(), std::min(size, data.size()), field.begin());
    packet.insert(packet.end(), field.begin(), field.end());
    const uint16_t crc = Crc16(field);
    packet.push_back(static_cast<uint8_t>(crc >> 8));
    packet.push_back(static_cast<uint8_t>(crc));
    return packet;
}

Bytes Header(const std::string& name, const std::string& size) {
    Bytes data(name.begin(), name.end());
    data.push_back(0);
    data.insert(data.end(), size.begin(), size.end());
    return Packet(0, data, 128);
}

Bytes Slice(const Bytes& file, size_t from, size_t count) {
    return Bytes(file.begin() + static_cast<long>(std::min(from, file.size())),
                 file.begin() + static_cast<long>(std::min(from + count, file.size())));
}

struct Session {
    explicit Session(YmodemOptions options = {})
        : receiver(
              options, [this](std::string_view bytes) { sent.append(bytes); }, now) {}
    std::string Take(const Bytes& bytes) {
        sent.clear();
        receiver.Feed(bytes, now);
        return sent;
    }
    // Lets time run to `then` and returns what the receiver sent meanwhile.
    std::string AdvanceTo(TimePoint then) {
        now = then;
        sent.clear();
        receiver.Advance(now);
        return sent;
    }
    TimePoint now = TimePoint{} + std::chrono::hours(1);
    std::string sent;
    YmodemReceiver receiver;
};

TEST(SimYmodem, ChecksumsMatchTheirCheckValues) {
    const std::string text = "123456789";
    const Bytes bytes(text.begin(), text.end());
    EXPECT_EQ(Crc16(bytes), 0x31C3);
    EXPECT_EQ(Crc32(0, bytes), 0xCBF43926u);
    EXPECT_EQ(Crc32(Crc32(0, Slice(bytes, 0, 4)), Slice(bytes, 4, 5)), 0xCBF43926u);
    EXPECT_EQ(Crc32(0, {}), 0u);
    EXPECT_EQ(Sum8(bytes), static_cast<uint8_t>(0x1DD));
}

TEST(SimYmodem, WholeBatchesOfDifferentSizesArriveExactly) {
    for (size_t size : {0u, 1u, 300u, 1030u, 2048u, 300u * 1024u}) {
        Bytes file(size);
        for (size_t i = 0; i < size; ++i) {
            file[i] = static_cast<uint8_t>(i * 31 + size);
        }
        Session s;
        EXPECT_EQ(s.sent, "C");
        EXPECT_EQ(s.Take(Header("/home/user/zImage", std::to_string(size) + " ")),
                  std::string{kAck} + "C");
        uint8_t block = 1;
        for (size_t at = 0; at < size;) {
            const size_t room = size - at >= 1024 ? 1024 : 128;
            ASSERT_EQ(s.Take(Packet(block++, Slice(file, at, room), room)), std::string{kAck});
            at += room;
        }
        EXPECT_EQ(s.Take({0x04}), std::string{kAck} + "C");
        EXPECT_EQ(s.Take(Packet(0, {}, 128)), std::string{kAck});
        ASSERT_EQ(s.receiver.outcome(), YmodemOutcome::Done) << size;
        ASSERT_EQ(s.receiver.files().size(), 1u);
        EXPECT_EQ(s.receiver.files()[0].name, "/home/user/zImage");
        EXPECT_TRUE(s.receiver.files()[0].complete);
        EXPECT_EQ(s.receiver.files()[0].data, file) << size;
    }
}

TEST(SimYmodem, DamagedRepeatedAndMisorderedPacketsAreAnsweredAsYmodemWants) {
    const Bytes data(1024, 0x5A);
    Session s;
    s.Take(Header("k.img", "2048"));
    Bytes damaged = Packet(1, data, 1024);
    damaged[500] ^= 1;
    EXPECT_EQ(s.Take(damaged), std::string{kNak});
    Bytes badComplement = Packet(1, data, 1024);
    badComplement[2] = 0;
    EXPECT_EQ(s.Take(badComplement), std::string{kNak});
    EXPECT_EQ(s.Take(Packet(1, data, 1024)), std::string{kAck});
    EXPECT_EQ(s.Take(Packet(1, data, 1024)), std::string{kAck});  // our ACK was lost
    EXPECT_EQ(s.receiver.files()[0].data.size(), 1024u);
    EXPECT_EQ(s.Take(Packet(5, data, 1024)), std::string{kCan} + kCan);
    EXPECT_EQ(s.receiver.outcome(), YmodemOutcome::Aborted);

    Session cancelled;
    cancelled.Take(Header("k.img", "2048"));
    cancelled.Take(Packet(1, data, 1024));
    EXPECT_EQ(cancelled.Take({kCan}), "");
    EXPECT_EQ(cancelled.receiver.outcome(), YmodemOutcome::Running);  // one CAN is noise
    cancelled.Take({0x41, kCan, kCan, 0x43});
    EXPECT_EQ(cancelled.receiver.outcome(), YmodemOutcome::CancelledBySender);
    EXPECT_FALSE(cancelled.receiver.files()[0].complete);

    YmodemOptions small;
    small.ramLimit = 4096;
    Session tooBig(small);
    EXPECT_EQ(tooBig.Take(Header("k.img", "5000")), std::string{kCan} + kCan);
    EXPECT_EQ(tooBig.receiver.outcome(), YmodemOutcome::Aborted);
    Session noSize(small);  // without a size the RAM still bounds what is kept
    noSize.Take(Header("k.img", ""));
    for (uint8_t block = 1; block <= 4; ++block) {
        noSize.Take(Packet(block, data, 1024));
    }
    EXPECT_EQ(noSize.Take(Packet(5, data, 1024)), std::string{kCan} + kCan);
}

TEST(SimYmodem, FaultsAndSilenceFollowTheirCounts) {
    const Bytes data(128, 1);
    YmodemOptions naks;
    naks.nakFirstBlock = 3;
    Session s(naks);
    s.Take(Header("a", "256"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.Take(Packet(1, data, 128)), std::string{kNak});
    }
    EXPECT_EQ(s.Take(Packet(1, data, 128)), std::string{kAck});
    EXPECT_EQ(s.Take(Packet(2, data, 128)), std::string{kAck});  // only the first block

    YmodemOptions cancel;
    cancel.cancelAfterBlocks = 2;
    Session c(cancel);
    c.Take(Header("a", "1024"));
    EXPECT_EQ(c.Take(Packet(1, data, 128)), std::string{kAck});
    EXPECT_EQ(c.Take(Packet(2, data, 128)), std::string{kAck} + kCan + kCan);
    EXPECT_EQ(c.receiver.outcome(), YmodemOutcome::Aborted);

    // No sender: a "C" every interval, then the receiver gives up with CAN CAN.
    YmodemOptions patience;
    patience.startTries = 3;
    Session idle(patience);
    int asked = 1;
    while (idle.receiver.outcome() == YmodemOutcome::Running) {
        ASSERT_TRUE(idle.receiver.NextDeadline().has_value());
        asked += idle.AdvanceTo(*idle.receiver.NextDeadline()) == "C";
        ASSERT_LT(asked, 10);
    }
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(idle.sent, std::string{kCan} + kCan);

    // A packet that stops half-way is dropped and NAKed after the byte time-out.
    Session stalled;
    stalled.Take(Header("a", "128"));
    const Bytes packet = Packet(1, data, 128);
    stalled.Take(Slice(packet, 0, 60));
    EXPECT_EQ(stalled.AdvanceTo(stalled.now + milliseconds(999)), "");
    EXPECT_EQ(stalled.AdvanceTo(stalled.now + milliseconds(2)), std::string{kNak});
    EXPECT_EQ(stalled.Take(packet), std::string{kAck});
}

}  // namespace
}  // namespace termsim
