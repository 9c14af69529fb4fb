// termload-cli clock: sets one terminal's clock to this PC's local time.
#include <cstdio>
#include <cstdlib>

#include "channels/local_time.h"
#include "cli/cli_setup.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "engine/clock_download.h"

namespace termload::cli {
namespace {

// Test hook: TERMLOAD_FAKE_TIME="YYYY-MM-DD HH:MM:SS" replaces the PC's clock, so a test can
// compare the bytes on the wire with a known packet.
constexpr const char* kFakeTimeVariable = "TERMLOAD_FAKE_TIME";

}  // namespace

int ClockCommand(const ClockOptions& options) {
    SerialSettings line;  // 8 data bits, 1 stop bit, no parity, no flow control
    int langBase = kLangEnglish;
    if (!options.configPath.empty()) {
        std::string error;
        const auto config = LoadCliConfiguration(options.configPath, error);
        if (!config) {
            std::fprintf(stderr, "termload-cli: %s\n", error.c_str());
            return kExitUsage;
        }
        const ControlsModel& controls = config->controls;
        if (const int bits = SelectedDataBits(controls); bits != 0) {
            line.byteSize = bits;  // without a selection the line keeps its 8 bits
        }
        line.stopBitsIndex = controls.stopBitIndex;
        line.parityIndex = controls.parityIndex;
        line.flowControlIndex = controls.flowCtrlIndex;
        langBase = config->settings.langBase;
    }

    ClockTime time = ClockTimeOf(LocalCalendarTimeNow());
    if (const char* fake = std::getenv(kFakeTimeVariable); fake != nullptr && *fake != '\0') {
        const auto parsed = ParseClockTime(fake);
        if (!parsed) {
            std::fprintf(stderr, "termload-cli: %s must be \"YYYY-MM-DD HH:MM:SS\"\n",
                         kFakeTimeVariable);
            return kExitUsage;
        }
        time = *parsed;
    }

    UsePortMap(options.portsMap);
    if (const std::string problem = CheckPortDevice(options.port); !problem.empty()) {
        std::fprintf(stderr, "termload-cli: %s\n", problem.c_str());
        return kExitUsage;
    }

    ChannelLibrary channels;
    const ClockDownloadOutcome outcome = ClockDownload(options.port, line, time);
    const std::string text = ClockStatusText(options.port, outcome, langBase);
    std::printf("%s\n", text.c_str());
    return outcome.result == ClockDownloadResult::Sent ? kExitAllOk : kExitFailed;
}

}  // namespace termload::cli
