// The demo's scratch directory: a sample configuration, sample files to send, and the place where
// the simulated terminals store what they receive. Removed with everything in it at the end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/demo_verify.h"

namespace termload::cli {

struct SampleFile {
    std::string destination;  // name on the terminal
    std::filesystem::path source;
    std::uint64_t size = 0;
};

// A directory made for us alone, removed with its content when the object goes.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& prefix);  // throws std::runtime_error
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

class DemoWorkspace {
  public:
    // Creates a fresh directory under the system's temporary directory and writes the sample
    // configuration (model M868, English texts, quick but real pacing with `usbDelayMs` between
    // pieces) and its files into it. Throws std::runtime_error when it cannot.
    explicit DemoWorkspace(int usbDelayMs = kSerialUsbDelayMs);

    // USB serial adapters on a production line.
    static constexpr int kSerialUsbDelayMs = 10;

    const std::filesystem::path& Root() const { return root_.Path(); }
    std::filesystem::path ConfigPath() const { return Root() / "Config.ini"; }
    std::filesystem::path PortMapPath() const { return Root() / "ports.ini"; }
    std::filesystem::path ReceivedDir() const { return Root() / "received"; }
    std::filesystem::path SimulatorLog() const { return Root() / "termsim.log"; }

    // The files of the configuration's file list, in row order.
    const std::vector<SampleFile>& Files() const { return files_; }
    // Model name of the sample configuration.
    static constexpr const char* kModel = "M868";

    // What each terminal must hold after its pass: the address file first, then every sample
    // file.
    std::vector<ExpectedFile> ExpectedFiles() const;

  private:
    ScratchDir root_;
    std::vector<SampleFile> files_;
};

}  // namespace termload::cli
