// The USB-CCID link over a fake resource manager, through the whole download: frames as 17 data
// requests, a refused piece restarting the file, the end-of-pass questions and the one-pass run,
// the operator's stop between pieces and during an endless "still writing", and the start check.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "engine/download_controller.h"
#include "engine/port_slot_table.h"
#include "support/download_workspace.h"
#include "support/fake_pcsc.h"

namespace termload::download_test {
namespace {

using test::Reply;
using Bytes = std::vector<uint8_t>;

const Reply kAccepted{0, {0x90, 0x00}};
const Reply kRefused{0, {0x6A, 0x81}};
const Reply kWritten{0, {0x00, 0x90}};
const Reply kStillWriting{0, {0x01, 0x90}};

bool IsData(const test::Call& call) {
    return call.request.size() > 5 && call.request[1] == 0x62;
}

class DownloadCcid : public ::testing::Test {
  protected:
    DownloadCcid() {
        ws.config.settings.langBase = kLangEnglish;
        ws.config.controls.portMode = PortMode::UsbCcid;
        ws.options.timings = Timings::Scaled(0);
        ws.options.timings.ccidPollPauseMs = 1;
        ws.options.portTable = PortTable{};
        ws.AddFile("a.bin", 5000, 1);  // two frames
        auto fake = std::make_unique<test::FakePcsc>();
        pcsc = fake.get();
        reader = std::make_shared<CcidReader>(std::move(fake));
        EXPECT_TRUE(reader->Connect("Terminal"));
        ws.options.ccidReader = reader;
        // Data accepted, "written" at the first question, the pass confirmed.
        pcsc->answer = [this](const Bytes& request, size_t index) {
            return Answer(request, index);
        };
    }

    std::function<Reply(const Bytes&, size_t)> onData = [](const Bytes&, size_t) {
        return kAccepted;
    };
    Reply pollReply = kWritten;
    Reply resultReply = kAccepted;

    Reply Answer(const Bytes& request, size_t index) {
        switch (request[1]) {
            case 0x62:
                return onData(request, index);
            case 0x63:
                return pollReply;
            default:
                return resultReply;
        }
    }

    void Start() {
        const StartCheck check = CheckStart(ws.config, ws.options);
        ASSERT_TRUE(check.job) << (check.messages.empty() ? "" : check.messages[0].text);
        ASSERT_TRUE(controller.Start(check.job));
    }

    // Runs until the run ends on its own, then stops it as the host does.
    void Run() {
        const int ended = host.RunsEnded();
        Start();
        EXPECT_TRUE(host.WaitUntil([ended](const auto& h) { return h.RunsEnded() > ended; }, 10s));
        controller.Stop();
    }

    // The data requests, in order; and the instruction bytes of the others.
    std::vector<Bytes> DataRequests(std::vector<int>* commands = nullptr) const {
        std::vector<Bytes> data;
        for (const test::Call& call : pcsc->Calls()) {
            if (IsData(call)) {
                data.push_back(call.request);
            } else if (commands != nullptr) {
                commands->push_back(call.request[1]);
            }
        }
        return data;
    }
    std::vector<int> Commands() const {
        std::vector<int> commands;
        DataRequests(&commands);
        return commands;
    }

    Workspace ws;
    test::FakePcsc* pcsc = nullptr;
    std::shared_ptr<CcidReader> reader;
    RecordingHost host;
    PortSlotTable table{host};
    DownloadController controller{table, TransportLinks([this] { return reader; })};
};

TEST_F(DownloadCcid, FramesGoAsSeventeenRequestsAndTheRunEndsAfterOnePass) {
    int polls = 0;
    // Still writing at the first question, done at the second.
    pcsc->answer = [&](const Bytes& request, size_t index) {
        if (request[1] == 0x63) {
            return ++polls == 1 ? kStillWriting : kWritten;
        }
        return Answer(request, index);
    };
    Run();

    const std::vector<Bytes> data = DataRequests();
    ASSERT_EQ(data.size(), 34u);
    for (size_t i = 0; i < data.size(); ++i) {
        const size_t length = i % 17 == 16 ? 93 : 255;
        ASSERT_EQ(data[i].size(), 5 + length) << i;
        EXPECT_EQ(Bytes(data[i].begin(), data[i].begin() + 5),
                  (Bytes{0xFF, 0x62, 0x00, 0x00, static_cast<uint8_t>(length)}));
    }
    // Each frame's first piece carries its sync and its block number.
    EXPECT_EQ(Bytes(data[17].begin() + 5, data[17].begin() + 11),
              (Bytes{0x55, 0x55, 0xAA, 0xAA, 0x01, 0x01}));
    // Two questions, the result, and no stop: the run ended by itself.
    EXPECT_EQ(Commands(), (std::vector<int>{0x63, 0x63, 0x65}));
    EXPECT_EQ(host.Shown(0, "[[COM0]]a.bin 正在更新，请不要点停止下载..", std::nullopt), 2);
    EXPECT_EQ(host.Shown(0, "[[COM0]]a.bin 更新...OK", StatusColour::Blue), 1);
    EXPECT_EQ(host.Shown(0, "[[COM0]] 文件更新成功！", StatusColour::Blue), 1);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{true});
    EXPECT_EQ(host.RunsEnded(), 1);
    EXPECT_TRUE(reader->connected());  // the run never closes the operator's connection
}

TEST_F(DownloadCcid, RefusedPieceShowsThreeAndRestartsTheFileFromBlockZero) {
    onData = [](const Bytes&, size_t index) { return index == 20 ? kRefused : kAccepted; };
    Run();
    const std::vector<Bytes> data = DataRequests();
    // Frame 0, four pieces of frame 1 (the fourth refused), then frames 0 and 1 again.
    ASSERT_EQ(data.size(), 17u + 4u + 34u);
    EXPECT_EQ(data[21][5 + 5], 0x00);  // block number of the frame after the refusal
    EXPECT_EQ(data[38][5 + 5], 0x01);
    EXPECT_EQ(host.Shown(0, "[COM0] File read error3", StatusColour::Red), 1);
    EXPECT_EQ(host.Shown(0, "[[COM0]]a.bin...OK", StatusColour::Blue), 1);
    const auto failures = host.Failures(0);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].restart, PassRestart::File);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
}

TEST_F(DownloadCcid, UnconfirmedPassFailsWithItsCause) {
    pollReply = kRefused;  // the question fails: byte 1 is not 0x90
    resultReply = kRefused;
    Run();
    EXPECT_EQ(Commands(), (std::vector<int>{0x63, 0x65}));
    EXPECT_EQ(host.Shown(0, "[[COM0]]a.bin 更新...false", StatusColour::Red), 1);
    EXPECT_EQ(host.Shown(0, "[[COM0]] 文件更新失败！", StatusColour::Red), 1);
    EXPECT_TRUE(host.FailedOnce(0, {.cause = FailureCause::CcidResult}));
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
    EXPECT_EQ(host.RunsEnded(), 1);

    // A failed question with a confirmed result is no good pass either.
    pcsc->calls.clear();
    resultReply = kAccepted;
    Run();
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, false}));
}

TEST_F(DownloadCcid, OperatorStopsBetweenPiecesAndDuringEndlessWriting) {
    // Between pieces: the sixth piece is the last to go.
    onData = [this](const Bytes&, size_t index) {
        if (index == 5) {
            table[0].RequestStop();
        }
        return kAccepted;
    };
    Run();
    EXPECT_EQ(DataRequests().size(), 6u);
    EXPECT_TRUE(host.PassesOk(0).empty());

    // A terminal that never finishes writing: the operator's stop still ends the run, and the
    // terminal is told.
    pcsc->calls.clear();
    onData = [](const Bytes&, size_t) { return kAccepted; };
    pollReply = kStillWriting;
    Start();
    ASSERT_TRUE(host.WaitUntil(
        [](const auto& h) {
            return h.Shown(0, "[[COM0]]a.bin 正在更新，请不要点停止下载..", std::nullopt) >= 3;
        },
        10s));
    const auto began = std::chrono::steady_clock::now();
    controller.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);  // a hang, not a speed
    const std::vector<int> commands = Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), 0x64);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x65), 0);
    EXPECT_TRUE(host.PassesOk(0).empty());
}

TEST_F(DownloadCcid, StartWithoutAnOpenConnectionIsRefused) {
    reader->Close();
    StartCheck check = CheckStart(ws.config, ws.options);
    EXPECT_FALSE(check.job);
    ASSERT_EQ(check.messages.size(), 1u);
    EXPECT_EQ(check.messages[0].text, "No USB-CCID device is connected: open the device first.");
    ws.options.ccidReader.reset();
    check = CheckStart(ws.config, ws.options);
    EXPECT_FALSE(check.job);
    EXPECT_EQ(check.messages.size(), 1u);
    EXPECT_TRUE(pcsc->Calls().empty());
}

}  // namespace
}  // namespace termload::download_test
