#include "terminal.hpp"

#include <algorithm>
#include <cstdio>
#include <set>

#include "checksums.hpp"
#include "file_store.hpp"

namespace termsim {

namespace {

constexpr size_t kMaxRejectedLines = 50;  // per unit; more are only counted
constexpr size_t kTimerPrefix = 32;

std::string Hex8(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string Hex2(uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

bool IsTimerFile(const std::string& name) {
    const std::string suffix = "timer.txt";
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           (name.size() == suffix.size() || name[name.size() - suffix.size() - 1] == '/');
}

// The 14 digits YYYYMMDDhhmmss of a clock file, as an ISO time; empty when it is not one.
std::string TimerFileTime(const std::string& content) {
    if (content.size() != 14 ||
        !std::all_of(content.begin(), content.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {};
    }
    return content.substr(0, 4) + "-" + content.substr(4, 2) + "-" + content.substr(6, 2) + "T" +
           content.substr(8, 2) + ":" + content.substr(10, 2) + ":" + content.substr(12, 2);
}

// A file without a name is the address file: the tool leaves the name out when no root
// directory is set.
std::filesystem::path StoredName(const std::string& name) {
    return name.empty() ? std::filesystem::path("file.adr") : SanitiseName(name, true);
}

}  // namespace

struct Terminal::Unit {
    int number = 0;
    std::filesystem::path dir;
    std::unique_ptr<BootConsole> console;
    std::unique_ptr<YmodemReceiver> ymodem;
    std::unique_ptr<StoredFile> storing;
    std::string storedPrefix;
    std::set<std::string> namesEnded;  // a name arriving again means the next pass, a new unit
    uint64_t strayAtStart = 0;
    std::optional<int> filesExpected;
    bool fileCountChanged = false;
    int filesEnded = 0;
    int filesGood = 0;
    uint64_t framesGood = 0;
    uint64_t framesBad = 0;
    size_t rejectedLines = 0;
    int ymodemFiles = 0;
    std::optional<bool> kernel;
    int usbImages = 0;
    std::optional<std::vector<uint8_t>> usbImage;  // the last good one, for DownNand
    bool stalled = false;
    std::optional<std::string> finished;  // why the unit is done, once it is
    bool active = false;                  // something arrived for it
};

Terminal::Terminal(TerminalSetup setup, TerminalHost& host, ResultsLog& log, Tally& tally)
    : setup_(std::move(setup)),
      host_(host),
      log_(log),
      tally_(tally),
      frames_(setup_.frameFormat, static_cast<FrameListener&>(*this)) {}

Terminal::~Terminal() = default;

void Terminal::NewUnit() {
    auto unit = std::make_unique<Unit>();
    unit->number = ++unitsSeen_;
    unit->dir = setup_.dir / ("unit-" + std::to_string(unit->number));
    unit->console = std::make_unique<BootConsole>(
        setup_.console, [this](std::string_view bytes) { host_.Send(bytes); },
        [this](const ConsoleEvent& event) {
            if (event.what == "boot") {
                return;  // every unit shows its banner when switched on: not worth a line
            }
            if (event.what == "kernel") {
                unit_->kernel = event.ok;
                unit_->finished = "kernel";
            }
            if (event.what == "solidify" && event.ok) {
                StoreSolidified(event.detail, now_);
            }
            Record({{"event", "console"},
                    {"what", event.what},
                    {"ok", event.ok},
                    {"detail", event.detail}},
                   now_);
        });
    unit->strayAtStart = frames_.strayBytes();
    unit_ = std::move(unit);
}

void Terminal::EndUnit(const std::string& reason, TimePoint now) {
    now_ = now;
    frames_.Flush();
    RecordUnit(reason, now);
}

void Terminal::RecordUnit(const std::string& reason, TimePoint now) {
    Unit& unit = *unit_;
    if (!unit.active) {
        // The port was opened but nothing came: no terminal was served, so none is counted.
        unit_.reset();
        --unitsSeen_;
        return;
    }
    if (unit.ymodem) {
        unit.ymodem.reset();
        Record({{"event", "console"},
                {"what", "comload"},
                {"ok", false},
                {"detail", "YMODEM transfer left unfinished"}},
               now);
    }
    const bool complete = unit.filesExpected && unit.filesEnded == *unit.filesExpected &&
                          unit.filesGood == unit.filesEnded;
    nlohmann::json line = {{"event", "unit"},
                           {"ended", reason},
                           {"files_expected", nullptr},
                           {"files_received", unit.filesEnded},
                           {"files_good", unit.filesGood},
                           {"file_count_changed", unit.fileCountChanged},
                           {"frames_good", unit.framesGood},
                           {"frames_bad", unit.framesBad},
                           {"stray_bytes", frames_.strayBytes() - unit.strayAtStart},
                           {"ymodem_files", unit.ymodemFiles},
                           {"kernel", nullptr},
                           {"console_input_lost", unit.console->inputLost()},
                           {"complete", complete},
                           {"dir", unit.dir.string()}};
    if (unit.filesExpected) {
        line["files_expected"] = *unit.filesExpected;
    }
    if (unit.kernel) {
        line["kernel"] = *unit.kernel ? "running" : "halted";
    }
    Record(std::move(line), now);
    ++tally_.units;
    unit_.reset();
}

void Terminal::PortOpened(TimePoint now) {
    now_ = now;
    if (!sessionOpen_) {
        StartSession(now);
    }
}

// The tool has the port now: a finished unit makes way for the next one, which powers on. The
// unit already there keeps running as it was.
void Terminal::StartSession(TimePoint now) {
    sessionOpen_ = true;
    if (unit_ && unit_->finished) {
        EndUnit(*unit_->finished, now);
    }
    if (!unit_) {
        NewUnit();
        unit_->console->PowerOn(now);
    } else if (setup_.restartWhenWaiting.count() > 0) {
        restartAt_ = now + setup_.restartWhenWaiting;
    }
}

void Terminal::PortClosed(TimePoint now, bool reopened) {
    now_ = now;
    sessionOpen_ = false;
    restartAt_.reset();
    if (!unit_) {
        return;
    }
    GiveUpHeld(now);
    if (unit_->stalled && !unit_->finished) {
        unit_->finished = "stalled";  // before the flush: the cut-off file is not why it ended
    }
    // The tool closed and opened again before its last bytes were read: those bytes were written
    // before the close, so a frame or file left midway stays open for them. Whatever the new
    // session sends then goes through the receiver, which ends the old file when another begins.
    if (reopened && inFrames_ && !unit_->stalled && frames_.midway()) {
        framesCarried_ = true;
        return;
    }
    inFrames_ = false;
    framesCarried_ = false;
    frames_.Flush();
    if (!reopened && ReplaceDue()) {
        // The unit goes while the tool has the port closed, and the one that takes its place
        // comes back under the same device: only the device's identity tells them apart.
        ++replacesDone_;
        ++tally_.hangups;
        Record({{"event", "hang-up"}, {"port", "closed"}}, now);
        held_.clear();
        EndUnit("hang-up", now);
        host_.Replace();
    }
}

bool Terminal::ReplaceDue() const {
    return setup_.replaceAfterFiles > 0 && unit_ && unit_->filesEnded >= setup_.replaceAfterFiles &&
           (setup_.replaceUnits == 0 || replacesDone_ < setup_.replaceUnits);
}

void Terminal::Shutdown(TimePoint now) {
    if (unit_) {
        EndUnit(unit_->finished.value_or("exit"), now);
    }
}

void Terminal::Receive(std::span<const uint8_t> bytes, TimePoint now) {
    now_ = now;
    if (!sessionOpen_ || !unit_) {
        StartSession(now);  // bytes before the open was seen: the port is open all the same
    }
    unit_->active = true;
    restartAt_.reset();
    size_t i = 0;
    while (i < bytes.size() && unit_ && !hangUpDue_ && !stallDue_) {
        if (unit_->ymodem) {
            i += unit_->ymodem->Feed(bytes.subspan(i), now);
            CheckYmodem(now);
        } else if (inFrames_ && framesCarried_) {
            if (frames_.midway()) {
                i += frames_.Feed(bytes.subspan(i), true);
            } else {
                // What was carried has ended: the new session is told apart from its first
                // bytes, as any session is.
                framesCarried_ = false;
                inFrames_ = false;
            }
        } else if (inFrames_) {
            i += frames_.Feed(bytes.subspan(i));
        } else {
            Sniff(bytes[i++], now);
        }
    }
    ApplyLineFaults(now);
}

// Faults that end the line are carried out only between chunks, never inside a receiver call.
void Terminal::ApplyLineFaults(TimePoint now) {
    if (hangUpDue_) {
        hangUpDue_ = false;
        ++tally_.hangups;
        Record({{"event", "hang-up"}}, now);
        host_.HangUp();
        held_.clear();
        inFrames_ = false;
        framesCarried_ = false;
        sessionOpen_ = false;
        EndUnit("hang-up", now);
    }
    if (stallDue_) {
        stallDue_ = false;
        if (!unit_) {
            return;  // it hung up as well
        }
        unit_->stalled = true;
        Record({{"event", "stall"}}, now);
        host_.StopReading();
    }
}

Terminal::Held Terminal::Classify() const {
    const size_t n = held_.size();
    if (held_[0] == kFrameSync[0]) {
        if (!std::equal(held_.begin(), held_.end(), std::begin(kFrameSync))) {
            return Held::Mismatch;
        }
        return n == sizeof kFrameSync ? Held::Frame : Held::Prefix;
    }
    const size_t ones = std::min<size_t>(n, 4);
    if (!std::all_of(held_.begin(), held_.begin() + static_cast<long>(ones),
                     [](uint8_t b) { return b == 0x01; })) {
        return Held::Mismatch;
    }
    if (n <= 4) {
        return Held::Prefix;
    }
    if (held_[4] == 0x10) {
        return n == kClockPacketSize ? Held::Clock : Held::Prefix;
    }
    if (held_[4] == 0x15) {
        return n == kVersionRequestSize ? Held::Version : Held::Prefix;
    }
    return Held::Mismatch;
}

void Terminal::Sniff(uint8_t byte, TimePoint now) {
    if (held_.empty()) {
        if (byte != kFrameSync[0] && byte != 0x01) {
            ToConsole(byte, now);
            return;
        }
        heldSince_ = now;
    }
    held_.push_back(byte);
    switch (const Held kind = Classify()) {
        case Held::Prefix:
            return;
        case Held::Frame: {
            inFrames_ = true;
            const std::vector<uint8_t> sync = std::move(held_);
            held_.clear();
            frames_.Feed(sync);
            return;
        }
        case Held::Clock:
        case Held::Version:
            HandlePacket(kind, now);
            held_.clear();
            return;
        case Held::Mismatch:
            ReleaseHeld(now);
            return;
    }
}

// The held bytes were not the start of a frame or packet: the first one is typing, the rest is
// looked at again.
void Terminal::ReleaseHeld(TimePoint now) {
    std::vector<uint8_t> rest(held_.begin() + 1, held_.end());
    const uint8_t first = held_.front();
    held_.clear();
    ToConsole(first, now);
    for (uint8_t byte : rest) {
        if (unit_->ymodem) {
            unit_->ymodem->Feed(std::span<const uint8_t>(&byte, 1), now);
        } else {
            Sniff(byte, now);
        }
    }
}

// Held bytes whose frame or packet never completed: part of a packet is recorded and dropped,
// anything shorter was typing (a lone 'U' at the console).
void Terminal::GiveUpHeld(TimePoint now) {
    std::vector<uint8_t> held = std::move(held_);
    held_.clear();
    if (held.size() > 4 && held[0] == 0x01) {
        Record({{"event", "packet-rejected"},
                {"problem", std::to_string(held.size()) + " bytes of a packet, then silence"}},
               now);
        return;
    }
    for (uint8_t byte : held) {
        ToConsole(byte, now);
    }
}

void Terminal::ToConsole(uint8_t byte, TimePoint now) {
    unit_->console->Feed(byte, now);
    StartYmodemIfAsked(now);
}

// "comload" hands the line to a YMODEM receiver.
void Terminal::StartYmodemIfAsked(TimePoint now) {
    if (unit_->console->WantsYmodem() && !unit_->ymodem) {
        unit_->ymodem = std::make_unique<YmodemReceiver>(
            setup_.ymodem, [this](std::string_view bytes) { host_.Send(bytes); }, now);
    }
}

void Terminal::CheckYmodem(TimePoint now) {
    Unit& unit = *unit_;
    if (!unit.ymodem || unit.ymodem->outcome() == YmodemOutcome::Running) {
        return;
    }
    const YmodemReceiver& receiver = *unit.ymodem;
    std::optional<std::vector<uint8_t>> image;
    for (const YmodemFile& file : receiver.files()) {
        ++unit.ymodemFiles;
        const bool good = file.complete && (receiver.outcome() == YmodemOutcome::Done ||
                                            &file != &receiver.files().back());
        std::string error;
        const std::filesystem::path path = unit.dir / SanitiseName(file.name, false);
        const bool stored = good && StoreWholeFile(path, file.data, error);
        nlohmann::json line = {{"event", "file"},
                               {"kind", "ymodem"},
                               {"name", file.name},
                               {"stored", stored ? nlohmann::json(path.string()) : nullptr},
                               {"length", nullptr},
                               {"received", file.data.size()},
                               {"crc", Hex8(Crc32(0, file.data))},
                               {"length_ok", file.complete},
                               {"blocks", file.blocks},
                               {"naks", receiver.naksSent()},
                               {"complete", file.complete},
                               {"good", stored},
                               {"problems", nlohmann::json::array()}};
        if (file.declaredSize) {
            line["length"] = *file.declaredSize;
        }
        if (!good && receiver.outcome() != YmodemOutcome::Done) {
            line["problems"].push_back(receiver.reason());
        }
        if (!error.empty()) {
            line["problems"].push_back(error);
        }
        Record(std::move(line), now);
        (stored ? tally_.filesGood : tally_.filesBad)++;
        if (stored) {
            image = file.data;
        }
    }
    const std::string reason = receiver.reason();
    unit.ymodem.reset();
    unit.console->ImageLoaded(std::move(image), reason);
}

void Terminal::HandlePacket(Held kind, TimePoint now) {
    if (kind == Held::Clock) {
        const ClockSetting clock = DecodeClockPacket(held_);
        ++tally_.clockPackets;
        Record({{"event", "clock"},
                {"time", clock.bcdOk ? nlohmann::json(clock.IsoText()) : nullptr},
                {"weekday", clock.weekday},
                {"valid", clock.Valid()},
                {"framing_ok", clock.framingOk},
                {"sum_ok", clock.sumOk},
                {"bcd_ok", clock.bcdOk},
                {"range_ok", clock.rangeOk},
                {"weekday_ok", clock.weekdayOk}},
               now);
        return;
    }
    ++tally_.versionRequests;
    const bool ok = IsVersionRequest(held_);
    if (ok) {
        const std::vector<uint8_t> reply = BuildVersionReply(setup_.versions);
        host_.Send(std::string_view(reinterpret_cast<const char*>(reply.data()), reply.size()));
    }
    Record({{"event", "version"}, {"request_ok", ok}, {"items", setup_.versions.size()}}, now);
}

void Terminal::Advance(TimePoint now) {
    now_ = now;
    if (!unit_) {
        return;
    }
    if (!held_.empty() && now - heldSince_ >= setup_.holdTimeout) {
        GiveUpHeld(now);
    }
    if (restartAt_ && *restartAt_ <= now) {
        restartAt_.reset();
        Record({{"event", "restart"}}, now);
        unit_->console->PowerOn(now);
    }
    if (unit_->ymodem) {
        unit_->ymodem->Advance(now);
        CheckYmodem(now);
    }
    unit_->console->Advance(now);
    StartYmodemIfAsked(now);
}

std::optional<TimePoint> Terminal::NextDeadline() const {
    if (!unit_) {
        return std::nullopt;
    }
    std::optional<TimePoint> next = unit_->console->NextDeadline();
    if (unit_->ymodem) {
        next = Earliest(next, unit_->ymodem->NextDeadline());
    }
    if (!held_.empty()) {
        next = Earliest(next, heldSince_ + setup_.holdTimeout);
    }
    return Earliest(next, restartAt_);
}

void Terminal::UsbImageReceived(UsbImage image, TimePoint now) {
    now_ = now;
    if (!unit_) {
        NewUnit();
    }
    Unit& unit = *unit_;
    unit.active = true;
    const bool good = image.problem.empty();
    const int number = ++unit.usbImages;
    const std::filesystem::path path =
        unit.dir / "usb" / ("image-" + std::to_string(number) + (good ? ".bin" : ".bad"));
    std::string error;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const bool stored = StoreWholeFile(path, image.data, error);
    Record({{"event", "usb-image"},
            {"number", number},
            {"ok", good},
            {"cut_off", image.cutOff},
            {"address", Hex8(image.address)},
            {"length", image.length},
            {"bytes", image.data.size()},
            {"sum", Hex8(image.sumGiven)},
            {"sum_computed", Hex8(image.sumComputed)},
            {"problem", image.problem},
            {"stored", stored ? path.string() : "not stored: " + error}},
           now);
    if (good) {
        unit.usbImage = std::move(image.data);
    } else {
        unit.usbImage.reset();
    }
    // A cut-off image was abandoned by the host, which knows: only a checked one is answered.
    if (!image.cutOff) {
        unit.console->UsbImageChecked(good);
    }
}

// DownNand made the last good USB image permanent: keep it per region, as the flash would.
void Terminal::StoreSolidified(const std::string& detail, TimePoint now) {
    if (!unit_ || !unit_->usbImage || detail.empty()) {
        return;
    }
    const std::filesystem::path path =
        unit_->dir / "nand" / ("region-" + detail.substr(detail.size() - 1) + ".bin");
    std::string error;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (!StoreWholeFile(path, *unit_->usbImage, error)) {
        Record({{"event", "console"}, {"what", "solidify"}, {"ok", false}, {"detail", error}}, now);
    }
}

void Terminal::Record(nlohmann::json line, TimePoint now) {
    nlohmann::json full = {{"event", line["event"]}, {"port", setup_.port}};
    full["unit"] = unit_ ? nlohmann::json(unit_->number) : nullptr;
    for (auto& [key, value] : line.items()) {
        full[key] = std::move(value);
    }
    log_.Record(std::move(full), now);
}

void Terminal::FileStarted(const ReceivedFile& file) {
    if (unit_->namesEnded.count(file.name) != 0) {
        // The same terminal does not get a file twice in one pass: this is the next terminal. The
        // receiver has just ended the previous file, so nothing of it is left to flush.
        RecordUnit(unit_->finished.value_or("next pass"), now_);
        NewUnit();
        unit_->active = true;
    }
    Unit& unit = *unit_;
    if (!unit.filesExpected) {
        unit.filesExpected = file.fileCount;
    } else if (*unit.filesExpected != file.fileCount) {
        unit.fileCountChanged = true;
    }
    unit.storing = std::make_unique<StoredFile>(unit.dir / StoredName(file.name));
    unit.storedPrefix.clear();
}

void Terminal::FileData(std::span<const uint8_t> bytes) {
    Unit& unit = *unit_;
    unit.storing->Write(bytes);
    const size_t room = kTimerPrefix - std::min(kTimerPrefix, unit.storedPrefix.size());
    unit.storedPrefix.append(bytes.begin(),
                             bytes.begin() + static_cast<long>(std::min(room, bytes.size())));
}

void Terminal::FileEnded(const ReceivedFile& file) {
    Unit& unit = *unit_;
    std::vector<std::string> problems = file.problems;
    bool stored = false;
    if (file.Good()) {
        stored = unit.storing->Commit();
        if (!stored) {
            problems.push_back(unit.storing->error());
        }
    }
    const std::string path = unit.storing->path().string();
    unit.storing.reset();  // an uncommitted file is removed
    nlohmann::json line = {{"event", "file"},
                           {"kind", "frames"},
                           {"name", file.name},
                           {"stored", stored ? nlohmann::json(path) : nullptr},
                           {"length", file.length},
                           {"received", file.bytesStored},
                           {"crc", Hex8(file.storedCrc)},
                           {"declared_crc", Hex8(file.crc)},
                           {"length_ok", file.complete},
                           {"crc_ok", file.crcOk},
                           {"sums_ok", file.badFrames == 0},
                           {"blocks", file.blocksReceived},
                           {"blocks_expected", file.blocksExpected},
                           {"bad_frames", file.badFrames},
                           {"file_count", file.fileCount},
                           {"mode_code", Hex2(file.modeCode)},
                           {"hardware_version", Hex2(file.hardwareVersion)},
                           {"complete", file.complete},
                           {"restarted", file.restarted},
                           {"good", stored},
                           {"problems", problems}};
    if (stored && IsTimerFile(file.name)) {
        const std::string time = TimerFileTime(unit.storedPrefix);
        line["time"] = time.empty() ? nlohmann::json(nullptr) : nlohmann::json(time);
    }
    Record(std::move(line), now_);
    if (file.restarted) {
        return;  // the same file comes again: it counts once, when it ends
    }
    unit.namesEnded.insert(file.name);
    ++unit.filesEnded;
    if (stored) {
        ++unit.filesGood;
        ++tally_.filesGood;
    } else {
        ++tally_.filesBad;
    }
    if (unit.filesExpected && unit.filesEnded >= *unit.filesExpected && !unit.finished) {
        unit.finished = "files";
    }
}

bool Terminal::FrameAccepted(const FrameFields& fields) {
    Unit& unit = *unit_;
    ++unit.framesGood;
    if (log_.verbosity() == Verbosity::Progress) {
        log_.Progress(setup_.port + " unit " + std::to_string(unit.number) + ": " + fields.name +
                      " block " + std::to_string(fields.offset / kBlockSize + 1) + "/" +
                      std::to_string((fields.length + kBlockSize - 1) / kBlockSize));
    }
    const auto frames = static_cast<int64_t>(unit.framesGood);
    const auto due = [frames](int after, int units, int& done) {
        if (frames != after || (units != 0 && done >= units)) {
            return false;
        }
        ++done;
        return true;
    };
    if (due(setup_.hangupAfterFrames, setup_.hangupUnits, hangupsDone_)) {
        hangUpDue_ = true;
    } else if (due(setup_.stallAfterFrames, setup_.stallUnits, stallsDone_)) {
        stallDue_ = true;
    }
    return !hangUpDue_ && !stallDue_;
}

void Terminal::FrameRejected(FrameVerdict verdict, const std::string& problem) {
    Unit& unit = *unit_;
    ++unit.framesBad;
    ++tally_.framesBad;
    if (unit.rejectedLines++ < kMaxRejectedLines) {
        Record(
            {{"event", "frame-rejected"}, {"reason", VerdictText(verdict)}, {"problem", problem}},
            now_);
    }
}

}  // namespace termsim
