// termsim's CCID terminal on malformed escapes, its fault texts, and DIR/env shared by two doors.
#include <gtest/gtest.h>

#include <filesystem>

#include "ccid_terminal.hpp"
#include "env_file.hpp"
#include "support/files.h"

namespace termsim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class CcidTerminalTest : public ::testing::Test {
  protected:
    CcidTerminalTest() {
        TerminalSetup setup;
        setup.port = "CCID";
        setup.dir = dir / "CCID";
        terminal = std::make_unique<CcidTerminal>(setup, CcidFaults{}, log, tally);
    }
    Bytes Escape(const Bytes& request, size_t capacity = 10) {
        return terminal->Escape(request, capacity, Clock::now());
    }

    termload::test::ScratchDir dir{"sim-ccid"};
    ResultsLog log{dir / "results.jsonl", Verbosity::Quiet, Clock::now()};
    Tally tally;
    std::unique_ptr<CcidTerminal> terminal;
};

TEST_F(CcidTerminalTest, MalformedEscapesAreRefusedWithoutTakingBytes) {
    EXPECT_EQ(Escape({0xFF, 0x62, 0x00, 0x00, 0x03, 0x55, 0x55}), (Bytes{0x67, 0x00}));
    EXPECT_EQ(Escape({0xFF, 0x62, 0x00, 0x00, 0x01, 0x55, 0x55}), (Bytes{0x67, 0x00}));
    EXPECT_EQ(Escape({0xFF, 0x62, 0x00, 0x00, 0x00}), (Bytes{0x67, 0x00}));
    EXPECT_EQ(Escape({0xFF, 0x60, 0x00, 0x00, 0x00}), (Bytes{0x6D, 0x00}));  // probe cut short
    EXPECT_EQ(Escape({0xFF, 0x66, 0x00, 0x11, 0x06, 'R', 'E', 'B', 'O', 'O'}), (Bytes{0x6D, 0x00}));
    EXPECT_EQ(Escape({}), (Bytes{0x6D, 0x00}));
    EXPECT_EQ(Escape({0xFF, 0x60, 0x00, 0x00, 0x00, 0x00}, 1), (Bytes{0x00}));  // cut to capacity
    EXPECT_EQ(Escape({0xFF, 0x63, 0x00, 0x00, 0x00}), (Bytes{0x00, 0x90}));
    terminal->Shutdown(Clock::now());
    EXPECT_EQ(tally.units, 0u);  // nothing was ever taken in
}

TEST(CcidFaultTest, Texts) {
    CcidFaults faults;
    ApplyCcidFault("unready=2", faults);
    ApplyCcidFault("refuse=17", faults);
    ApplyCcidFault("busy=3", faults);
    EXPECT_EQ(faults.rebootsNeeded, 2);
    EXPECT_EQ(faults.refuseRequest, 17);
    EXPECT_EQ(faults.busyPolls, 3);
    for (const char* bad : {"unready", "refuse=x", "busy=-1", "busy=3x", "slow=1"}) {
        EXPECT_THROW(ApplyCcidFault(bad, faults), std::invalid_argument) << bad;
    }
}

TEST(EnvFileTest, EachDoorKeepsTheOthersLines) {
    const termload::test::ScratchDir dir("sim-env");
    const fs::path file = dir / "env";
    AddEnvLines(file, {{"UMOCKDEV_DIR", "/tmp/a"}, {"LD_PRELOAD", "libumockdev-preload.so.0"}});
    AddEnvLines(file, {{"PCSCLITE_CSOCK_NAME", "/x/pcscd.comm"}});
    AddEnvLines(file, {{"UMOCKDEV_DIR", "/tmp/b=c"}});
    EXPECT_EQ(termload::test::ReadFile(file),
              "UMOCKDEV_DIR=/tmp/b=c\nLD_PRELOAD=libumockdev-preload.so.0\n"
              "PCSCLITE_CSOCK_NAME=/x/pcscd.comm\n");
}

}  // namespace
}  // namespace termsim
