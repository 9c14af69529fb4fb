// The CCID reader channel through the real pcsc-lite client, a real pcscd and termsim's reader
// driver: list, probe with a reboot, frames as 17 escapes each, a refused piece, the end-of-pass
// polls, the version request and the stop, and termsim storing the files byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "channels/ccid_reader.h"
#include "engine/crc32.h"
#include "engine/file_frame.h"
#include "support/termsim.h"

namespace termload {
namespace {

using namespace std::chrono_literals;
using namespace termload::test;
using Bytes = std::vector<uint8_t>;

// The frames of one file as the download thread fills them.
std::vector<Bytes> FramesOf(const std::string& name, const std::string& file, uint8_t fileCount) {
    FileFrame frame;
    frame.SetConstantFields(fileCount, 0x05, 0x10);
    frame.SetDestination(name);
    frame.SetFileLength(static_cast<uint32_t>(file.size()));
    frame.SetFileCrc(~Crc32Update(0xFFFFFFFF, reinterpret_cast<const uint8_t*>(file.data()),
                                  static_cast<uint32_t>(file.size())));
    const uint32_t blocks = static_cast<uint32_t>((file.size() + 4095) / 4096);
    frame.SetBlockCount(blocks);
    std::vector<Bytes> frames;
    for (uint32_t block = 0; block < blocks; ++block) {
        frame.SetBlockNumber(block);
        frame.SetBlockOffset(block * 4096);
        std::fill(frame.Data().begin(), frame.Data().end(), 0);
        const size_t count = std::min<size_t>(4096, file.size() - block * 4096);
        std::copy_n(file.begin() + block * 4096, count, frame.Data().begin());
        frame.Seal();
        frames.emplace_back(frame.bytes.begin(), frame.bytes.end());
    }
    return frames;
}

TEST(CcidPcscdTest, FilesReachTheTerminalThroughTheRealPcscd) {
    ASSERT_TRUE(PcscdInstalled());
    // A terminal that needs one reboot, refuses data request 40 and answers two end-of-pass polls
    // with "still writing". The PC/SC client library takes the daemon's socket from the
    // environment once, so the process has one such termsim.
    const ScratchDir dir("termload-ccid");
    Termsim sim(dir.Path(), {"--ccid", "--quiet", "--ccid-fault", "unready=1", "--ccid-fault",
                             "refuse=40", "--ccid-fault", "busy=2", "--seconds", "300"});
    ASSERT_TRUE(sim.Started()) << "termsim --ccid did not come up: " << sim.Log();
    const std::string socket = ReadEnvFile(dir / "env")["PCSCLITE_CSOCK_NAME"];
    ASSERT_FALSE(socket.empty()) << "termsim --ccid did not come up: " << sim.Log();
    ::setenv("PCSCLITE_CSOCK_NAME", socket.c_str(), 1);

    CcidReader reader;
    const std::vector<std::string> readers = reader.ListReaders();
    ASSERT_EQ(readers.size(), 1u);
    EXPECT_EQ(readers[0].rfind("Termsim CCID Terminal", 0), 0u) << readers[0];

    // Not ready until it has been rebooted once: probe, reboot, reconnect, probe.
    int pauses = 0;
    ASSERT_EQ(reader.OpenAndProbe(readers[0], 3,
                                  [&] {
                                      ++pauses;
                                      std::this_thread::sleep_for(50ms);
                                      return true;
                                  }),
              1);
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(reader.escapeCode(), CcidControlCode(1));  // named by the driver's feature list

    const std::string fileA = PatternBytes(5000, 1);
    const std::string fileB = PatternBytes(8192, 7);
    const auto send = [&](const std::vector<Bytes>& frames) {
        for (const Bytes& frame : frames) {
            const int sent = reader.SendPieces(frame, [] { return true; });
            if (sent != 1) {
                return sent;
            }
        }
        return 1;
    };
    EXPECT_EQ(send(FramesOf("app/a.bin", fileA, 2)), 1);  // data requests 1-34
    // Request 40 is answered without 0x90: a failure, and the file starts again from block 0.
    const std::vector<Bytes> framesB = FramesOf("b.dat", fileB, 2);
    EXPECT_EQ(send(framesB), -1);
    EXPECT_EQ(send(framesB), 1);

    const auto going = [] { return false; };
    EXPECT_EQ(reader.PollPass(going), 0);
    EXPECT_EQ(reader.PollPass(going), 0);
    EXPECT_EQ(reader.PollPass(going), 1);
    EXPECT_TRUE(reader.PassResult(going));

    const uint8_t versionRequest[] = {0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0x00, 0x05,
                                      0x01, 0x10, 0x10, 0x18, 0x00, 0x03, 0x33};
    std::array<uint8_t, kCcidMaxReply> reply{};
    const int n = reader.Exchange(versionRequest, reply);
    ASSERT_GE(n, 7);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 6), (Bytes{1, 1, 1, 1, 0x15, 0xDC}));

    EXPECT_TRUE(reader.SendStop());
    reader.Close();
    EXPECT_EQ(reader.Probe(), -1);

    sim.Stop();
    const std::vector<nlohmann::json> results = sim.Results();
    const std::filesystem::path unit = dir / "CCID" / "unit-1";
    EXPECT_EQ(ReadFile(unit / "app" / "a.bin"), fileA);
    EXPECT_EQ(ReadFile(unit / "b.dat"), fileB);
    std::vector<std::string> requests;
    int refused = 0;
    for (const nlohmann::json& line : results) {
        if (line["event"] == "ccid" && line["request"] != "data") {
            requests.push_back(line["request"]);
        }
        refused += line["event"] == "ccid" && line["request"] == "data" && !line["accepted"];
        if (line["event"] == "unit" && line["unit"] == 1) {
            EXPECT_EQ(line["files_good"], 2);
            EXPECT_TRUE(line["complete"].get<bool>());
        }
    }
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(requests,
              (std::vector<std::string>{"probe", "reboot", "probe", "pass-poll", "pass-poll",
                                        "pass-poll", "pass-result", "stop"}));
}

}  // namespace
}  // namespace termload
