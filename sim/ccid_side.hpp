#pragma once
// termsim's CCID door as a whole: the terminal behind the reader, the socket its driver calls,
// the private pcscd that loads the driver, and the PCSCLITE_CSOCK_NAME line in DIR/env.
#include <filesystem>
#include <memory>

#include "ccid_door.hpp"
#include "ccid_terminal.hpp"
#include "private_pcscd.hpp"

namespace termsim {

class CcidSide {
  public:
    // Throws std::runtime_error when pcscd or the driver cannot be started.
    CcidSide(EventLoop& loop, const std::filesystem::path& dir, TerminalSetup terminal,
             CcidFaults faults, ResultsLog& log, Tally& tally);
    ~CcidSide();
    void Shutdown(TimePoint now);
    const std::string& readerName() const { return pcscd_->readerName(); }

  private:
    CcidTerminal terminal_;
    std::unique_ptr<CcidDoor> door_;
    std::unique_ptr<PrivatePcscd> pcscd_;
};

}  // namespace termsim
