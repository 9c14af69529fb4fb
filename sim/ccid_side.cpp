#include "ccid_side.hpp"

#include "env_file.hpp"

namespace termsim {

CcidSide::CcidSide(EventLoop& loop, const std::filesystem::path& dir, TerminalSetup terminal,
                   CcidFaults faults, ResultsLog& log, Tally& tally)
    : terminal_(std::move(terminal), faults, log, tally) {
    const std::filesystem::path work = dir / "ccid";
    std::filesystem::create_directories(work);
    door_ = std::make_unique<CcidDoor>(loop, work / "terminal.sock", terminal_);
    PcscdSetup setup;
    setup.dir = work;
    setup.driver = DefaultCcidDriver();
    setup.terminalSocket = work / "terminal.sock";
    pcscd_ = std::make_unique<PrivatePcscd>(std::move(setup));
    AddEnvLines(dir / "env", {{"PCSCLITE_CSOCK_NAME", pcscd_->clientSocket().string()}});
}

CcidSide::~CcidSide() = default;

void CcidSide::Shutdown(TimePoint now) {
    pcscd_.reset();  // first the daemon, so no request arrives for a terminal that has ended
    terminal_.Shutdown(now);
}

}  // namespace termsim
