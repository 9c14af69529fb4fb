#include "boot_console.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "checksums.hpp"

namespace termsim {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr char kPrompt[] = "\\>";
constexpr char kBanner[] =
    "\r\n\r\nTS boot loader 2.4 (termsim)\r\n"
    "Board: TS-POS main board rev C, CPU 400 MHz, SDRAM 64 MB, NAND 128 MB\r\n"
    "Press ESC for the menu\r\n";
// Noise is drawn from characters that no keyword of the console contains.
constexpr char kNoiseAlphabet[] = "#*=-~+.";

std::string Noise(size_t length) {
    std::string noise(length, ' ');
    for (size_t i = 0; i < length; ++i) {
        noise[i] = kNoiseAlphabet[(i * 7 + i / 5) % (sizeof kNoiseAlphabet - 1)];
    }
    return noise;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A hexadecimal number as typed, with or without 0x; nothing for anything else.
std::optional<uint32_t> Hex(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text = text.substr(2);
    }
    if (text.empty() || text.size() > 8 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); })) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
}

// "<address> <hex size>" with the address the command must name: the size, or nothing.
std::optional<uint32_t> SizeArgument(const std::vector<std::string>& args, uint32_t address) {
    if (args.size() != 2 || Hex(args[0]) != address) {
        return std::nullopt;
    }
    return Hex(args[1]);
}

std::string HexText(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

BootConsole::BootConsole(ConsoleOptions options, SendFn send, EventFn event)
    : options_(options), send_(std::move(send)), event_(std::move(event)) {}

void BootConsole::PowerOn(TimePoint now) {
    if (mode_ != Mode::Off && mode_ != Mode::Prompt && mode_ != Mode::Key) {
        return;  // busy, receiving an image or running the kernel: the board is not reset
    }
    keyHandler_ = nullptr;
    mode_ = Mode::Booting;
    After(options_.bootTime, now, [this](TimePoint at) {
        Print(kBanner);
        Report("boot", true);
        Prompt();
        if (options_.noiseEvery.count() > 0) {
            nextNoise_ = at + options_.noiseEvery;
        }
        ReplayTypedAhead(at);
    });
}

void BootConsole::Feed(uint8_t byte, TimePoint now) {
    switch (mode_) {
        case Mode::Kernel:
        case Mode::Ymodem:
        case Mode::Hung:
            return;  // nobody reads the console
        case Mode::Off:
        case Mode::Booting:
        case Mode::Busy:
            if (typedAhead_.size() < options_.maxPendingInput) {
                typedAhead_.push_back(byte);
            } else {
                ++inputLost_;
            }
            return;
        case Mode::Key:
            if (byte == '\r' || byte == '\n' || byte == kEsc) {
                return;  // a question waits for one key, not for Enter
            }
            {
                KeyHandler handler = std::move(keyHandler_);
                keyHandler_ = nullptr;
                mode_ = Mode::Prompt;
                Print(std::string(1, static_cast<char>(byte)));
                handler(static_cast<char>(byte), now);
            }
            return;
        case Mode::Prompt:
            Type(byte, now);
            return;
    }
}

void BootConsole::Type(uint8_t byte, TimePoint now) {
    if (byte == kEsc) {
        line_.clear();
        lineTooLong_ = false;
        menuArmed_ = true;
        return;
    }
    if (byte == '\r') {
        Print("\r\n");
        const std::string line = std::move(line_);
        line_.clear();
        if (lineTooLong_) {
            lineTooLong_ = false;
            Report("line-too-long", false);
            Answer("Line too long\r\n");
            Prompt();
            return;
        }
        Execute(line, now);
        return;
    }
    if (byte == 0x08 || byte == 0x7F) {
        if (!line_.empty()) {
            line_.pop_back();
            Print("\b \b");
        }
        return;
    }
    if (byte < 0x20 || byte > 0x7E) {
        return;
    }
    if (line_.size() >= options_.maxLine) {
        lineTooLong_ = true;  // not echoed, the line is refused at Enter
        return;
    }
    line_.push_back(static_cast<char>(byte));
    Print(std::string(1, static_cast<char>(byte)));
}

void BootConsole::Execute(const std::string& line, TimePoint now) {
    const std::vector<std::string> words = Words(line);
    if (words.empty()) {
        Prompt();
        return;
    }
    const bool menu = menuArmed_;
    menuArmed_ = false;
    const std::string command = Lower(words[0]);
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (!options_.hangOn.empty() && command == Lower(options_.hangOn)) {
        Report(command, false, "board hung");
        mode_ = Mode::Hung;
        typedAhead_.clear();
        return;
    }
    if (command == "ramtest") {
        RamTest(now);
    } else if (command == "nandtest") {
        NandTest(menu);
    } else if (command == "usbdown") {
        UsbDown(now);
    } else if (command == "comload") {
        Answer("Ready to receive the kernel image into RAM by YMODEM protocol...\r\n");
        Report("comload", true);
        mode_ = Mode::Ymodem;
    } else if (command == "downnand" && args.empty()) {
        Solidify();
    } else if (command == "downnand") {
        NandWrite(args);
    } else if (command == "upnand") {
        NandRead(args);
    } else if (command == "run") {
        Run(args);
    } else if (command == "reset") {
        mode_ = Mode::Prompt;
        PowerOn(now);
    } else if (command == "help") {
        Answer(
            "ramtest  nandtest  usbdown  comload  DownNand [addr size]  UpNand addr size\r\n"
            "run addr  reset\r\n");
        Prompt();
    } else {
        Answer("Unknown command: " + words[0] + "\r\n");
        Prompt();
    }
}

void BootConsole::RamTest(TimePoint now) {
    Answer("SDRAM test 0x30000000 - 0x33ffffff ...\r\n");
    After(options_.ramTestTime, now, [this](TimePoint) {
        Print("ram OK\r\n");
        Report("ramtest", true);
        Prompt();
    });
}

void BootConsole::NandTest(bool menu) {
    if (!menu) {
        // The plain test scans the blocks and stops at the last one until 'q'.
        Answer("NAND bad block scan\r\n  0: ok\r\n 40: ok\r\n 80: ok\r\n c0: ok\r\n1f0:");
        Report("nandtest", true);
        WaitForQuit();
        return;
    }
    Answer("NAND erase, select region (0 bios, 1 kernel, 2 root, 3 user, r all): ");
    AskKey("", [this](char region, TimePoint) {
        if (std::string("0123r").find(region) == std::string::npos) {
            Print("\r\nNo such region\r\n");
            Report("erase", false, std::string("region ") + region);
            Prompt();
            return;
        }
        AskKey("\r\nConfirm (y/n)? ", [this, region](char key, TimePoint at) {
            if (key != 'y' && key != 'Y') {
                Print("\r\nCancelled\r\n");
                Prompt();
                return;
            }
            Print(std::string("\r\nErasing region ") + region + " ...\r\n");
            After(options_.eraseTime, at, [this, region](TimePoint) {
                Print(std::string("Erase region ") + region + " done\r\n");
                Report("erase", true, std::string("region ") + region);
                Prompt();
            });
        });
    });
}

void BootConsole::WaitForQuit() {
    AskKey("", [this](char key, TimePoint) {
        if (key == 'q' || key == 'Q') {
            Print("\r\n");
            Prompt();
        } else {
            WaitForQuit();
        }
    });
}

void BootConsole::UsbDown(TimePoint now) {
    Answer("USB download mode, host connected\r\n");
    Report("usbdown", true);
    usbImageBad_ = false;
    if (options_.checksumError) {
        checksumErrorAt_ = now + options_.checksumErrorDelay;
    }
    Prompt();
}

void BootConsole::NandWrite(const std::vector<std::string>& args) {
    const std::optional<uint32_t> parsed = SizeArgument(args, 0xc008000u);
    if (!parsed) {
        Answer("Usage: DownNand c008000 <hex size>\r\n");
        Report("nand-write", false, "bad arguments");
        Prompt();
        return;
    }
    const uint32_t size = *parsed;
    Answer("Write " + HexText(size) + " bytes from RAM c008000 to the NAND kernel area (y/n)? ");
    AskKey("", [this, size](char key, TimePoint at) {
        if (key != 'y' && key != 'Y') {
            Print("\r\nCancelled\r\n");
            Prompt();
            return;
        }
        Print("\r\nWriting NAND ...\r\n");
        After(options_.nandWriteTime, at, [this, size](TimePoint) {
            if (!ram_) {
                Print("Error: no image in RAM\r\n");
                Report("nand-write", false, "no image in RAM");
            } else {
                const bool sizeOk = size == ram_->size() + 1024;
                nandKernel_ = NandKernel{size, sizeOk};
                Print("NAND write OK\r\n");
                Report("nand-write", sizeOk,
                       "size " + HexText(size) + " for an image of " +
                           std::to_string(ram_->size()) + " bytes");
            }
            Prompt();
        });
    });
}

void BootConsole::NandRead(const std::vector<std::string>& args) {
    const std::optional<uint32_t> parsed = SizeArgument(args, 0xc000000u);
    if (!parsed) {
        Answer("Usage: UpNand c000000 <hex size>\r\n");
        Report("nand-read", false, "bad arguments");
        Prompt();
        return;
    }
    const uint32_t size = *parsed;
    Answer("Read " + HexText(size) + " bytes of the NAND kernel area to RAM c000000 (y/n)? ");
    AskKey("", [this, size](char key, TimePoint at) {
        if (key != 'y' && key != 'Y') {
            Print("\r\nCancelled\r\n");
            Prompt();
            return;
        }
        Print("\r\nReading NAND ...\r\n");
        After(options_.nandReadTime, at, [this, size](TimePoint) {
            if (!nandKernel_) {
                Print("Error: the NAND kernel area is empty\r\n");
                Report("nand-read", false, "nothing written");
                kernelInRam_ = false;
            } else {
                kernelInRam_ = nandKernel_->sizeOk && size == nandKernel_->size;
                Print("NAND read OK\r\n");
                Report("nand-read", kernelInRam_,
                       "size " + HexText(size) + ", written " + HexText(nandKernel_->size));
            }
            Prompt();
        });
    });
}

void BootConsole::UsbImageChecked(bool good) {
    usbImageBad_ = !good;
    if (!good) {
        Print("\r\nChecksum Error\r\n");
    }
}

void BootConsole::Solidify() {
    Answer(
        "Solidify the USB image, select partition 0 [bios], 1 [kernel], 2 [root], "
        "3 [user-fs]: ");
    AskKey("", [this](char part, TimePoint) {
        if (std::string("0123").find(part) == std::string::npos) {
            Print("\r\nNo such partition\r\n");
            Report("solidify", false, std::string("partition ") + part);
            Prompt();
            return;
        }
        AskKey("\r\nConfirm (y/n)? ", [this, part](char key, TimePoint at) {
            if (key != 'y' && key != 'Y') {
                Print("\r\nCancelled\r\n");
                Prompt();
                return;
            }
            Print(std::string("\r\nWriting partition ") + part + " ...\r\n");
            After(options_.solidifyTime, at, [this, part](TimePoint) {
                // The region is kept before the answer leaves: whoever reads "success" finds it.
                if (usbImageBad_) {
                    Report("solidify", false, std::string("partition ") + part + ", bad image");
                    Print(std::string("Partition ") + part + " not written: bad image\r\n");
                } else {
                    Report("solidify", true, std::string("partition ") + part);
                    Print(std::string("Solidify partition ") + part + " success\r\n");
                }
                Prompt();
            });
        });
    });
}

void BootConsole::Run(const std::vector<std::string>& args) {
    if (args.size() != 1 || Hex(args[0]) != 0xc000000u) {
        Answer("Usage: run c000000\r\n");
        Prompt();
        return;
    }
    Answer("Jump to 0xc000000 (y/n)? ");
    AskKey("", [this](char key, TimePoint at) {
        if (key != 'y' && key != 'Y') {
            Print("\r\nCancelled\r\n");
            Prompt();
            return;
        }
        Print(
            "\r\nStarting kernel at 0xc000000 ...\r\n"
            "Uncompressing Linux... done, booting the kernel.\r\n");
        After(options_.kernelBootTime, at, [this](TimePoint) {
            if (kernelInRam_) {
                Print(
                    "VFS: Mounted root (yaffs2 filesystem).\r\n"
                    "MTD mount /dev/mtdblock4 on /mnt/user ok\r\n");
            } else {
                Print("Bad kernel image, system halted\r\n");
            }
            Report("kernel", kernelInRam_, kernelInRam_ ? "running" : "halted");
            mode_ = Mode::Kernel;
            typedAhead_.clear();
        });
    });
}

void BootConsole::ImageLoaded(std::optional<std::vector<uint8_t>> image, const std::string& note) {
    if (mode_ != Mode::Ymodem) {
        return;
    }
    if (image) {
        ram_ = std::move(image);
        Print("\r\nImage received, " + std::to_string(ram_->size()) + " bytes\r\n");
    } else {
        Print("\r\nYMODEM failed: " + note + "\r\n");
    }
    typedAhead_.clear();
    Prompt();
}

void BootConsole::Prompt() {
    mode_ = Mode::Prompt;
    Print(kPrompt);
}

void BootConsole::AskKey(const std::string& question, KeyHandler handler) {
    Print(question);
    mode_ = Mode::Key;
    keyHandler_ = std::move(handler);
}

void BootConsole::After(Duration delay, TimePoint now, Job job) {
    if (mode_ != Mode::Booting) {
        mode_ = Mode::Busy;
    }
    job_.emplace(now + delay, std::move(job));
}

void BootConsole::Answer(const std::string& text) {
    if (options_.longLine > 0) {
        Print(Noise(options_.longLine) + "\r\n");
    }
    Print(text);
}

void BootConsole::Report(std::string what, bool ok, std::string detail) {
    event_(ConsoleEvent{std::move(what), ok, std::move(detail)});
}

void BootConsole::ReplayTypedAhead(TimePoint now) {
    while (!typedAhead_.empty() && (mode_ == Mode::Prompt || mode_ == Mode::Key)) {
        const uint8_t byte = typedAhead_.front();
        typedAhead_.pop_front();
        Feed(byte, now);
    }
}

void BootConsole::Advance(TimePoint now) {
    if (job_ && job_->first <= now) {
        Job job = std::move(job_->second);
        job_.reset();
        job(now);
        ReplayTypedAhead(now);
    }
    if (checksumErrorAt_ && *checksumErrorAt_ <= now) {
        checksumErrorAt_.reset();
        usbImageBad_ = true;
        Print("\r\nChecksum Error\r\n");
    }
    if (nextNoise_ && *nextNoise_ <= now) {
        if (mode_ == Mode::Prompt || mode_ == Mode::Key) {
            Print("\r\n" + Noise(48) + "\r\n");
        }
        nextNoise_ = now + options_.noiseEvery;
    }
}

std::optional<TimePoint> BootConsole::NextDeadline() const {
    std::optional<TimePoint> next;
    if (job_) {
        next = job_->first;
    }
    if (mode_ != Mode::Kernel && mode_ != Mode::Hung) {
        next = Earliest(next, checksumErrorAt_);
        next = Earliest(next, nextNoise_);
    }
    return next;
}

}  // namespace termsim
