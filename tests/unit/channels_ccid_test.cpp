// The CCID reader channel over a fake resource manager: the request bytes it sends, how it reads
// replies (short, failed, oversized), escape code discovery and the open-and-probe sequence.
#include <gtest/gtest.h>

#include <deque>
#include <numeric>

#include "channels/ccid_reader.h"
#include "support/fake_pcsc.h"

namespace termload {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Call;
using test::FakePcsc;
using test::Reply;

const std::function<bool()> notStopped = [] { return false; };

class CcidReaderTest : public ::testing::Test {
  protected:
    CcidReaderTest() {
        auto fake = std::make_unique<FakePcsc>();
        pcsc = fake.get();
        pcsc->features = {0x13, 0x04, 0x42, 0x00, 0x00, 0x01};  // as libccid lists its escape
        reader = std::make_unique<CcidReader>(std::move(fake));
    }
    void Script(std::initializer_list<Reply> replies) { pcsc->script = replies; }

    FakePcsc* pcsc;
    std::unique_ptr<CcidReader> reader;
};

TEST(CcidControlCodeTest, PlatformNumberingAndFeatureList) {
#ifdef _WIN32
    EXPECT_EQ(CcidControlCode(3500), 0x3136B0u);
#else
    EXPECT_EQ(CcidControlCode(3500), 0x42000DACu);
    EXPECT_EQ(CcidControlCode(3400), 0x42000D48u);
#endif
    const Bytes list = {0x06, 0x04, 1, 2, 3, 4, 0x13, 0x04, 0x42, 0x00, 0x00, 0x01};
    EXPECT_EQ(EscapeCodeFromFeatures(list), 0x42000001u);
    EXPECT_EQ(EscapeCodeFromFeatures(Bytes{0x06, 0x04, 1, 2, 3, 4}), 0u);
    // An entry that claims more than the reply holds spoils the list; a wrong length is no code.
    EXPECT_EQ(EscapeCodeFromFeatures(Bytes{0x06, 0x09, 1, 2, 0x13, 0x04, 0x42, 0, 0, 1}), 0u);
    EXPECT_EQ(EscapeCodeFromFeatures(Bytes{0x13, 0x02, 0x42, 0x00}), 0u);
    EXPECT_EQ(EscapeCodeFromFeatures(Bytes{0x13}), 0u);
}

TEST_F(CcidReaderTest, EscapeCodeFromTheDriverElseFunction3500) {
    ASSERT_TRUE(reader->Connect("Reader A"));
    EXPECT_EQ(reader->escapeCode(), 0x42000001u);
    pcsc->features.clear();  // a driver without a feature list
    ASSERT_TRUE(reader->Connect("Reader A"));
    EXPECT_EQ(pcsc->disconnects, 1);  // the first connection was ended
    EXPECT_EQ(reader->escapeCode(), CcidControlCode(3500));
    reader->Probe();
    EXPECT_EQ(pcsc->calls.back().code, CcidControlCode(3500));

    pcsc->connectResult = static_cast<long>(0x80100009);  // unknown reader
    EXPECT_FALSE(reader->Connect("Reader B"));
    EXPECT_FALSE(reader->connected());
    EXPECT_FALSE(reader->Connect(""));
}

TEST_F(CcidReaderTest, RequestsGoOutByteForByte) {
    ASSERT_TRUE(reader->Connect("R"));
    Script({{0, {0x00, 0x90}}, {}, {0, {0x00, 0x90}}, {}, {}});
    reader->Probe();
    reader->RequestReboot();
    reader->PollPass(notStopped);
    reader->PassResult(notStopped);
    reader->SendStop();
    ASSERT_EQ(pcsc->calls.size(), 5u);
    EXPECT_EQ(pcsc->calls[0].request, (Bytes{0xFF, 0x60, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(pcsc->calls[1].request,
              (Bytes{0xFF, 0x66, 0x00, 0x11, 0x06, 'R', 'E', 'B', 'O', 'O', 'T'}));
    EXPECT_EQ(pcsc->calls[2].request, (Bytes{0xFF, 0x63, 0x00, 0x00, 0x00}));
    EXPECT_EQ(pcsc->calls[3].request, (Bytes{0xFF, 0x65, 0x00, 0x00, 0x00}));
    EXPECT_EQ(pcsc->calls[4].request, (Bytes{0xFF, 0x64, 0x00, 0x00, 0x00}));
    for (const Call& call : pcsc->calls) {
        EXPECT_EQ(call.code, 0x42000001u);
    }
    // A caller that has stopped sends no end-of-pass request at all.
    EXPECT_EQ(reader->PollPass([] { return true; }), kCcidStopped);
    EXPECT_FALSE(reader->PassResult([] { return true; }));
    EXPECT_EQ(pcsc->calls.size(), 5u);
}

TEST_F(CcidReaderTest, FrameGoesAsSixteenFullPiecesAndOneOf93) {
    ASSERT_TRUE(reader->Connect("R"));
    Bytes frame(4173);
    std::iota(frame.begin(), frame.end(), uint8_t{0});
    int paces = 0;
    EXPECT_EQ(reader->SendPieces(frame, [&] { return ++paces > 0; }), 1);
    EXPECT_EQ(paces, 17);
    ASSERT_EQ(pcsc->calls.size(), 17u);
    Bytes joined;
    for (size_t i = 0; i < 17; ++i) {
        const Bytes& request = pcsc->calls[i].request;
        const size_t n = i < 16 ? 255 : 93;
        ASSERT_EQ(request.size(), 5 + n);
        EXPECT_EQ(Bytes(request.begin(), request.begin() + 5),
                  (Bytes{0xFF, 0x62, 0x00, 0x00, static_cast<uint8_t>(n)}));
        joined.insert(joined.end(), request.begin() + 5, request.end());
    }
    EXPECT_EQ(joined, frame);
}

TEST_F(CcidReaderTest, RefusedPieceEndsTheFrameAndStopEndsItEarly) {
    ASSERT_TRUE(reader->Connect("R"));
    const Bytes frame(4173, 0x5A);
    Script({{}, {}, {0, {0x6A, 0x81}}});
    EXPECT_EQ(reader->SendPieces(frame, [] { return true; }), -1);
    EXPECT_EQ(pcsc->calls.size(), 3u);  // nothing after the refused piece

    pcsc->calls.clear();
    Script({{}, {static_cast<long>(0x80100016), {}}});  // the call itself fails
    EXPECT_EQ(reader->SendPieces(frame, [] { return true; }), -1);
    EXPECT_EQ(pcsc->calls.size(), 2u);

    pcsc->calls.clear();
    int left = 4;
    EXPECT_EQ(reader->SendPieces(frame, [&] { return --left > 0; }), 0);
    EXPECT_EQ(pcsc->calls.size(), 4u);
}

TEST_F(CcidReaderTest, RepliesAreReadOnlyAsFarAsTheyGo) {
    ASSERT_TRUE(reader->Connect("R"));
    // A probe that fails or says nothing is not a ready terminal.
    Script({{0, {0x00, 0x90}},
            {0, {0x01, 0x90}},
            {static_cast<long>(0x80100016), {0x00}},
            {0, {}},
            {0, {0x00}, 11}});  // claims more than the buffer holds
    EXPECT_EQ(reader->Probe(), 1);
    EXPECT_EQ(reader->Probe(), 0);
    EXPECT_EQ(reader->Probe(), -1);
    EXPECT_EQ(reader->Probe(), -1);
    EXPECT_EQ(reader->Probe(), -1);

    Script({{0, {0x00, 0x90}}, {0, {0x05, 0x90}}, {0, {0x00, 0x00}}, {0, {0x00}}});
    EXPECT_EQ(reader->PollPass(notStopped), 1);
    EXPECT_EQ(reader->PollPass(notStopped), 0);
    EXPECT_EQ(reader->PollPass(notStopped), -1);
    EXPECT_EQ(reader->PollPass(notStopped), -1);  // byte 1 missing

    Script({{0, {0x90}}, {0, {0x6F, 0x00}}, {static_cast<long>(0x80100016), {0x90}}});
    EXPECT_TRUE(reader->PassResult(notStopped));
    EXPECT_FALSE(reader->PassResult(notStopped));
    EXPECT_FALSE(reader->PassResult(notStopped));

    // Out-of-bounds requests never reach the reader.
    const size_t before = pcsc->calls.size();
    EXPECT_FALSE(reader->SendData(Bytes(256, 1)));
    EXPECT_FALSE(reader->SendData(Bytes{}));
    std::array<uint8_t, kCcidMaxReply + 1> huge{};
    EXPECT_EQ(reader->Exchange(Bytes{0x01}, huge), -1);
    EXPECT_EQ(pcsc->calls.size(), before);

    reader->Close();
    EXPECT_EQ(reader->Probe(), -1);
    EXPECT_FALSE(reader->SendStop());
    EXPECT_EQ(pcsc->calls.size(), before);
}

TEST_F(CcidReaderTest, ReaderListAndARestartedService) {
    pcsc->names = std::string("Reader A\0Reader B\0\0", 19);
    EXPECT_EQ(reader->ListReaders(), (std::vector<std::string>{"Reader A", "Reader B"}));
    pcsc->listFailures = 1;  // pcscd restarted: the kept context is stale
    EXPECT_EQ(reader->ListReaders().size(), 2u);
    EXPECT_EQ(pcsc->contexts, 2);
    pcsc->names = std::string("Unterminated", 12);
    EXPECT_EQ(reader->ListReaders(), std::vector<std::string>{"Unterminated"});
    pcsc->names.clear();
    EXPECT_TRUE(reader->ListReaders().empty());
}

TEST_F(CcidReaderTest, OpenAndProbeRebootsAndReconnectsUntilReady) {
    int pauses = 0;
    const auto pause = [&] { return ++pauses > 0; };
    Script({{0, {0x01, 0x90}}, {}, {0, {0x01, 0x90}}, {}, {0, {0x00, 0x90}}});
    EXPECT_EQ(reader->OpenAndProbe("R", 3, pause), 1);
    EXPECT_TRUE(reader->connected());
    EXPECT_EQ(pcsc->connects, 3);
    EXPECT_EQ(pauses, 2);
    ASSERT_EQ(pcsc->calls.size(), 5u);
    EXPECT_EQ(pcsc->calls[1].request[1], 0x66);
    EXPECT_EQ(pcsc->calls[3].request[1], 0x66);

    pcsc->calls.clear();
    pcsc->script.assign(6, Reply{0, {0x01, 0x90}});
    EXPECT_EQ(reader->OpenAndProbe("R", 3, pause), 0);
    EXPECT_FALSE(reader->connected());
    EXPECT_EQ(pcsc->calls.size(), 6u);  // three probes, three reboots

    pcsc->connectResult = static_cast<long>(0x8010002E);  // no readers
    EXPECT_EQ(reader->OpenAndProbe("R", 3, pause), -1);
}

}  // namespace
}  // namespace termload
