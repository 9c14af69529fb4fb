#pragma once
// The terminal's boot loader console: a banner at power-on, typed commands echoed one byte at a
// time, and the commands the download tool drives (RAM test, NAND test and erase, USB download,
// YMODEM load into RAM, NAND write and read, solidify, run).
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim_time.hpp"

namespace termsim {

struct ConsoleOptions {
    Duration bootTime = milliseconds(300);  // power-on to banner
    Duration ramTestTime = milliseconds(300);
    Duration eraseTime = milliseconds(500);
    Duration nandWriteTime = milliseconds(500);
    Duration nandReadTime = milliseconds(300);
    Duration solidifyTime = milliseconds(500);
    Duration kernelBootTime = milliseconds(1500);
    Duration checksumErrorDelay = milliseconds(1000);
    size_t maxLine = 128;           // longer typed lines are refused
    size_t maxPendingInput = 4096;  // typed ahead while busy; more is lost, as in a UART FIFO
    // Faults.
    Duration noiseEvery{0};      // a line of noise this often while at the prompt (0: never)
    size_t longLine = 0;         // a line of this many noise characters before each answer
    bool checksumError = false;  // "Checksum Error" after a USB image
    std::string hangOn;          // the board hangs (takes and sends nothing more) at this command
};

struct ConsoleEvent {
    std::string what;  // "boot", "ramtest", "nandtest", "erase", "usbdown", "comload",
                       // "nand-write", "nand-read", "solidify", "kernel", "line-too-long"
    bool ok = true;
    std::string detail;
};

class BootConsole {
  public:
    using SendFn = std::function<void(std::string_view)>;
    using EventFn = std::function<void(const ConsoleEvent&)>;

    BootConsole(ConsoleOptions options, SendFn send, EventFn event);

    // Power-on, or off and on again (a reset, the operator) while the loader waits at its
    // prompt: banner after bootTime. Typed lines and RAM survive.
    void PowerOn(TimePoint now);
    void Feed(uint8_t byte, TimePoint now);
    void Advance(TimePoint now);
    std::optional<TimePoint> NextDeadline() const;

    // After "comload" the line belongs to the YMODEM receiver until ImageLoaded.
    bool WantsYmodem() const { return mode_ == Mode::Ymodem; }
    // The YMODEM session ended; an image (if any) now sits in RAM.
    void ImageLoaded(std::optional<std::vector<uint8_t>> image, const std::string& note);
    // The USB device took a whole image and checked it: a bad one is answered with
    // "Checksum Error" and may not be solidified.
    void UsbImageChecked(bool good);
    bool KernelRunning() const { return mode_ == Mode::Kernel; }
    bool AtPrompt() const { return mode_ == Mode::Prompt && line_.empty(); }
    uint64_t inputLost() const { return inputLost_; }

  private:
    enum class Mode { Off, Booting, Prompt, Key, Busy, Ymodem, Kernel, Hung };
    using KeyHandler = std::function<void(char, TimePoint)>;
    using Job = std::function<void(TimePoint)>;

    void Type(uint8_t byte, TimePoint now);
    void Execute(const std::string& line, TimePoint now);
    void Prompt();
    void AskKey(const std::string& question, KeyHandler handler);
    void After(Duration delay, TimePoint now, Job job);
    void Answer(const std::string& text);
    void Print(std::string_view text) { send_(text); }
    void Report(std::string what, bool ok, std::string detail = {});
    void ReplayTypedAhead(TimePoint now);

    void RamTest(TimePoint now);
    void NandTest(bool menu);
    void WaitForQuit();
    void UsbDown(TimePoint now);
    void NandWrite(const std::vector<std::string>& args);
    void NandRead(const std::vector<std::string>& args);
    void Solidify();
    void Run(const std::vector<std::string>& args);

    ConsoleOptions options_;
    SendFn send_;
    EventFn event_;
    Mode mode_ = Mode::Off;
    std::string line_;
    bool lineTooLong_ = false;
    bool menuArmed_ = false;  // ESC typed: the next command shows its menu
    KeyHandler keyHandler_;
    std::optional<std::pair<TimePoint, Job>> job_;
    std::deque<uint8_t> typedAhead_;
    uint64_t inputLost_ = 0;
    std::optional<TimePoint> nextNoise_;
    std::optional<TimePoint> checksumErrorAt_;
    bool usbImageBad_ = false;

    std::optional<std::vector<uint8_t>> ram_;  // image loaded by YMODEM at c008000
    struct NandKernel {
        uint32_t size;  // bytes the write command named
        bool sizeOk;    // named the RAM image's size + 1024
    };
    std::optional<NandKernel> nandKernel_;
    bool kernelInRam_ = false;  // read back from NAND to c000000 with the written size
};

}  // namespace termsim
