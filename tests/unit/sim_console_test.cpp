// termsim's boot console, typed at one byte at a time as the tool does, with made-up times.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot_console.hpp"

namespace termsim {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

class SimConsole : public ::testing::Test {
  protected:
    void Make(ConsoleOptions options = {}) {
        screen.clear();
        events.clear();
        console = std::make_unique<BootConsole>(
            options, [this](std::string_view text) { screen.append(text); },
            [this](const ConsoleEvent& event) { events.push_back(event); });
    }
    void SetUp() override { Make(); }
    // A console made and powered on, past its banner.
    void Boot(ConsoleOptions options = {}) {
        Make(options);
        console->PowerOn(now);
        Wait(milliseconds(400));
    }

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
    EXPECT_THAT(banner, HasSubstr("Board"));
    EXPECT_GT(banner.size(), 32u);

    const std::string out = Type("ramtest\r");
    EXPECT_EQ(out.substr(0, 9), "ramtest\r\n");
    EXPECT_THAT(out, Not(HasSubstr("ram OK")));  // the test takes its time
    EXPECT_THAT(Wait(milliseconds(500)), HasSubstr("ram OK"));

    // Without ESC the NAND test scans and waits at "1f0:" for 'q'.
    EXPECT_THAT(Type("\rnandtest\r"), AllOf(HasSubstr("1f0:"), Not(HasSubstr("region"))));
    EXPECT_THAT(Type("xq\r"), HasSubstr("\\>"));

    // After ESC it offers the regions and erases after the region and "y".
    EXPECT_THAT(Type("\x1b\rnandtest\r"), AllOf(HasSubstr("region"), Not(HasSubstr("1f0:"))));
    Type("3y");
    EXPECT_THAT(Wait(milliseconds(1000)), HasSubstr("Erase"));
    EXPECT_TRUE(Saw("erase", true));

    EXPECT_THAT(Type("\x1b\rusbdown\r"), HasSubstr("connected"));
    Type("n\x1b\r");
    EXPECT_THAT(Type("DownNand\r"), AllOf(HasSubstr("[user-fs]"), Not(HasSubstr("success"))));
    Type("2y");
    EXPECT_THAT(Wait(milliseconds(1000)), HasSubstr("success"));

    EXPECT_THAT(Type("Ramtest\b\b\b\b\b\b\bbogus\r"), HasSubstr("Unknown command: bogus"));
    EXPECT_THAT(Type(std::string(300, 'x') + "\r"), HasSubstr("Line too long"));
    EXPECT_TRUE(Saw("line-too-long", false));
}

TEST_F(SimConsole, KernelImageGoesFromRamToNandAndBootsOnlyWithTheRightSizes) {
    for (bool rightSize : {true, false}) {
        Boot();
        EXPECT_THAT(Type("\rcomload\r"), HasSubstr("YMODEM protocol..."));
        ASSERT_TRUE(console->WantsYmodem());
        EXPECT_EQ(Type("garbage"), "");  // the line belongs to the YMODEM receiver
        console->ImageLoaded(std::vector<uint8_t>(1000000, 7), "");
        ASSERT_FALSE(console->WantsYmodem());

        const std::string size = rightSize ? "f4640" : "f4000";  // the image and 1024: 1,001,024
        EXPECT_THAT(Type("\rDownNand c008000 " + size + "\r"), HasSubstr("c008000"));
        EXPECT_THAT(Type("y\r"), Not(HasSubstr("\\>")));  // not before the write is done
        EXPECT_THAT(Wait(milliseconds(1000)), HasSubstr("\\>"));
        EXPECT_TRUE(Saw("nand-write", rightSize));

        EXPECT_THAT(Type("\r\r\rUpNand c000000 " + size + "\r"), HasSubstr("c000000"));
        Type("y\r\r\r");
        Wait(milliseconds(1000));
        EXPECT_THAT(Type("run c000000\r"), HasSubstr("0xc000000"));
        Type("y\r\r\r");
        EXPECT_EQ(Wait(milliseconds(3000)).find("MTD mount") != std::string::npos, rightSize);
        EXPECT_TRUE(Saw("kernel", rightSize));
        EXPECT_TRUE(console->KernelRunning());
        EXPECT_EQ(Type("ramtest\r"), "");  // the boot loader is gone
    }

    // Writing with no image in RAM is refused.
    Boot();
    Type("DownNand c008000 400\ry");
    Wait(milliseconds(1000));
    EXPECT_TRUE(Saw("nand-write", false));
}

TEST_F(SimConsole, FaultsAddNoiseLongLinesAndChecksumErrorsWithoutKeywords) {
    ConsoleOptions options;
    options.noiseEvery = milliseconds(50);
    options.longLine = 3000;
    options.checksumError = true;
    Boot(options);
    const std::string out = Type("usbdown\r");
    EXPECT_THAT(out, HasSubstr("connected"));
    EXPECT_GT(out.size(), options.longLine);
    EXPECT_THAT(Wait(milliseconds(1500)), HasSubstr("Checksum Error"));
    Type("DownNand\r0y");
    EXPECT_THAT(Wait(milliseconds(1000)), Not(HasSubstr("success")));
    EXPECT_TRUE(Saw("solidify", false));

    // The noise never spells a keyword the tool waits for.
    Make(options);
    console->PowerOn(now);
    const std::string noise = Wait(milliseconds(5000));
    EXPECT_GT(noise.size(), 1000u);
    for (const char* keyword :
         {"ram OK", "region", "Erase", "1f0:", "connected", "[user-fs]", "success",
          "YMODEM protocol...", "c008000", "c000000", "0xc000000", "MTD mount", "Checksum Error"}) {
        EXPECT_THAT(noise, Not(HasSubstr(keyword)));
    }

    // A board that hangs at a command takes and sends nothing more, re-opened or not.
    ConsoleOptions hanging;
    hanging.hangOn = "DownNand";
    Boot(hanging);
    Type("downnand c008000 400\r");
    EXPECT_TRUE(Saw("downnand", false));
    EXPECT_EQ(Type("y\rhelp\r"), "");
    console->PowerOn(now);
    EXPECT_EQ(Wait(milliseconds(1000)), "");
}

}  // namespace
}  // namespace termsim
