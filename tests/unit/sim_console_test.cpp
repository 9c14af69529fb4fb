// termsim's boot console, typed at one byte at a time as the tool does, with made-up times.
#include <gtest/gtest.h>

#include <cstdio>

#include "boot_console.hpp"

namespace termsim {
namespace {

class SimConsole : public ::testing::Test {
  protected:
    void Make(ConsoleOptions options = {}) {
        screen.clear();
        console = std::make_unique<BootConsole>(
            options, [this](std::string_view text) { screen.append(text); },
            [this](const ConsoleEvent& event) { events.push_back(event); });
    }
    void SetUp() override { Make(); }

    // Types each byte 100 ms apart, runs due work in between, and returns what appeared.
    std::string Type(const std::string& text) {
        screen.clear();
        for (char c : text) {
            console->Feed(static_cast<uint8_t>(c), now);
            Wait(milliseconds(100));
        }
        return screen;
    }
    // Lets time pass, running every deadline on the way.
    std::string Wait(Duration span) {
        const TimePoint end = now + span;
        for (auto next = console->NextDeadline(); next && *next <= end;
             next = console->NextDeadline()) {
            now = std::max(now, *next);
            console->Advance(now);
        }
        now = end;
        return screen;
    }
    bool Saw(const std::string& what, bool ok) const {
        for (const ConsoleEvent& event : events) {
            if (event.what == what && event.ok == ok) {
                return true;
            }
        }
        return false;
    }

    TimePoint now = TimePoint{} + std::chrono::hours(1);
    std::string screen;
    std::vector<ConsoleEvent> events;
    std::unique_ptr<BootConsole> console;
};

TEST_F(SimConsole, BannerEchoAndTheTestsAnswerAsTheToolExpects) {
    console->PowerOn(now);
    EXPECT_EQ(Wait(milliseconds(299)), "");
    // Typed while booting: kept and echoed after the banner.
    console->Feed('\r', now);
    const std::string banner = Wait(milliseconds(2));
    EXPECT_NE(banner.find("Board"), std::string::npos);
    EXPECT_GT(banner.size(), 32u);

    std::string out = Type("ramtest\r");
    EXPECT_EQ(out.substr(0, 9), "ramtest\r\n");
    EXPECT_EQ(out.find("ram OK"), std::string::npos);  // the test takes its time
    EXPECT_NE(Wait(milliseconds(500)).find("ram OK"), std::string::npos);

    // Without ESC the NAND test scans and waits at "1f0:" for 'q'.
    out = Type("\rnandtest\r");
    EXPECT_NE(out.find("1f0:"), std::string::npos);
    EXPECT_EQ(out.find("region"), std::string::npos);
    out = Type("xq\r");
    EXPECT_NE(out.find("\\>"), std::string::npos);

    // After ESC it offers the regions and erases after the region and "y".
    out = Type("\x1b\rnandtest\r");
    EXPECT_NE(out.find("region"), std::string::npos);
    EXPECT_EQ(out.find("1f0:"), std::string::npos);
    Type("3y");
    out = Wait(milliseconds(1000));
    EXPECT_NE(out.find("Erase"), std::string::npos);
    EXPECT_TRUE(Saw("erase", true));

    out = Type("\x1b\rusbdown\r");
    EXPECT_NE(out.find("connected"), std::string::npos);
    screen.clear();
    out = Type("n\x1b\r");
    out = Type("DownNand\r");
    EXPECT_NE(out.find("[user-fs]"), std::string::npos);
    EXPECT_EQ(out.find("success"), std::string::npos);
    Type("2y");
    out = Wait(milliseconds(1000));
    EXPECT_NE(out.find("success"), std::string::npos);

    out = Type("Ramtest\b\b\b\b\b\b\bbogus\r");
    EXPECT_NE(out.find("Unknown command: bogus"), std::string::npos);
    out = Type(std::string(300, 'x') + "\r");
    EXPECT_NE(out.find("Line too long"), std::string::npos);
    EXPECT_TRUE(Saw("line-too-long", false));
}

std::string HexSize(size_t size) {
    char text[16];
    std::snprintf(text, sizeof text, "%zx", size + 1024);
    return text;
}

TEST_F(SimConsole, KernelImageGoesFromRamToNandAndBootsOnlyWithTheRightSizes) {
    for (bool rightSize : {true, false}) {
        Make();
        events.clear();
        console->PowerOn(now);
        Wait(milliseconds(400));
        std::string out = Type("\rcomload\r");
        EXPECT_NE(out.find("YMODEM protocol..."), std::string::npos);
        ASSERT_TRUE(console->WantsYmodem());
        EXPECT_EQ(Type("garbage"), "");  // the line belongs to the YMODEM receiver
        console->ImageLoaded(std::vector<uint8_t>(1000000, 7), "");
        ASSERT_FALSE(console->WantsYmodem());

        const std::string size = rightSize ? HexSize(1000000) : "f4000";
        if (rightSize) {
            ASSERT_EQ(size, "f4640");  // 1,001,024
        }
        out = Type("\rDownNand c008000 " + size + "\r");
        EXPECT_NE(out.find("c008000"), std::string::npos);
        screen.clear();
        out = Type("y\r");
        EXPECT_EQ(out.find("\\>"), std::string::npos);  // not before the write is done
        EXPECT_NE(Wait(milliseconds(1000)).find("\\>"), std::string::npos);
        EXPECT_TRUE(Saw("nand-write", rightSize));

        out = Type("\r\r\rUpNand c000000 " + size + "\r");
        EXPECT_NE(out.find("c000000"), std::string::npos);
        Type("y\r\r\r");
        Wait(milliseconds(1000));
        out = Type("run c000000\r");
        EXPECT_NE(out.find("0xc000000"), std::string::npos);
        screen.clear();
        Type("y\r\r\r");
        out = Wait(milliseconds(3000));
        EXPECT_EQ(out.find("MTD mount") != std::string::npos, rightSize);
        EXPECT_TRUE(Saw("kernel", rightSize));
        EXPECT_TRUE(console->KernelRunning());
        EXPECT_EQ(Type("ramtest\r"), "");  // the boot loader is gone
    }

    // Writing with no image in RAM is refused.
    Make();
    console->PowerOn(now);
    Wait(milliseconds(400));
    Type("DownNand c008000 400\ry");
    Wait(milliseconds(1000));
    EXPECT_TRUE(Saw("nand-write", false));
}

TEST_F(SimConsole, FaultsAddNoiseLongLinesAndChecksumErrorsWithoutKeywords) {
    ConsoleOptions options;
    options.noiseEvery = milliseconds(50);
    options.longLine = 3000;
    options.checksumError = true;
    Make(options);
    console->PowerOn(now);
    Wait(milliseconds(400));
    std::string out = Type("usbdown\r");
    EXPECT_NE(out.find("connected"), std::string::npos);
    EXPECT_GT(out.size(), options.longLine);
    out = Wait(milliseconds(1500));
    EXPECT_NE(out.find("Checksum Error"), std::string::npos);
    Type("DownNand\r0y");
    out = Wait(milliseconds(1000));
    EXPECT_EQ(out.find("success"), std::string::npos);
    EXPECT_TRUE(Saw("solidify", false));

    // The noise never spells a keyword the tool waits for.
    Make(options);
    console->PowerOn(now);
    const std::string noise = Wait(milliseconds(5000));
    EXPECT_GT(noise.size(), 1000u);
    for (const char* keyword :
         {"ram OK", "region", "Erase", "1f0:", "connected", "[user-fs]", "success",
          "YMODEM protocol...", "c008000", "c000000", "0xc000000", "MTD mount", "Checksum Error"}) {
        EXPECT_EQ(noise.find(keyword), std::string::npos) << keyword;
    }

    // A board that hangs at a command takes and sends nothing more, re-opened or not.
    ConsoleOptions hanging;
    hanging.hangOn = "DownNand";
    Make(hanging);
    console->PowerOn(now);
    Wait(milliseconds(400));
    Type("downnand c008000 400\r");
    EXPECT_TRUE(Saw("downnand", false));
    EXPECT_EQ(Type("y\rhelp\r"), "");
    console->PowerOn(now);
    EXPECT_EQ(Wait(milliseconds(1000)), "");
}

}  // namespace
}  // namespace termsim
