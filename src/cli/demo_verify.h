// The demo's proof: every file on every simulated terminal, as sent, as received, and whether the
// bytes are identical.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/pass_report.h"

namespace termload::cli {

// A file the terminals should hold: its name there and the bytes it should have.
struct ExpectedFile {
    std::string destination;
    std::string content;
};

struct VerifyRow {
    int port = 0;
    std::string place;  // as shown: "COM<port>", or the USB door's name
    int unit = 0;       // the terminal on that port: 1 for the first pass
    std::string destination;
    std::uint64_t size = 0;
    bool sent = false;       // the download reported the file OK
    bool received = false;   // the terminal stored a file of that name
    bool identical = false;  // ... with exactly the expected bytes
};

// One row per port, pass and expected file. `records` are the passes of the run; the terminals
// keep what they received under `receivedDir`/COMn/unit-K/<destination>.
std::vector<VerifyRow> VerifyReceived(const std::vector<int>& ports, int passes,
                                      const std::vector<ExpectedFile>& expected,
                                      const std::vector<PassRecord>& records,
                                      const std::filesystem::path& receivedDir);

// The same for the one terminal behind a USB door (`place`: "HID", "CCID"), which keeps what it
// received under `terminalDir`/unit-K/<destination>; every pass record of the run is its.
std::vector<VerifyRow> VerifyTerminal(const std::string& place, int passes,
                                      const std::vector<ExpectedFile>& expected,
                                      const std::vector<PassRecord>& records,
                                      const std::filesystem::path& terminalDir);

// The table as printed, one line per row after a heading, then a verdict line.
std::vector<std::string> VerifyTable(const std::vector<VerifyRow>& rows);

bool AllIdentical(const std::vector<VerifyRow>& rows);

}  // namespace termload::cli
