#pragma once
// A real pcscd of termsim's own, never the system's: it runs in its own mount namespace with a
// private /run (so its socket lands under DIR) and an empty USB driver directory (so it never
// opens a real reader), and loads termsim's reader driver from a reader.conf under DIR. As root
// a mount namespace is enough; other users get one inside an unprivileged user namespace, where
// the kernel allows them.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace termsim {

struct PcscdSetup {
    std::filesystem::path dir;             // DIR/ccid: reader.conf, pcscd.log, run/
    std::filesystem::path driver;          // termsim's IFD handler
    std::filesystem::path terminalSocket;  // where the driver reaches termsim
    std::string readerName = "Termsim CCID Terminal";
    std::chrono::milliseconds waitLimit{10000};
};

class PrivatePcscd {
  public:
    // Starts pcscd and waits until it lists the reader. Throws std::runtime_error naming what is
    // missing (package, permission) with the end of pcscd's log.
    explicit PrivatePcscd(PcscdSetup setup);
    ~PrivatePcscd();  // SIGTERM, then SIGKILL after 5 s
    PrivatePcscd(const PrivatePcscd&) = delete;
    PrivatePcscd& operator=(const PrivatePcscd&) = delete;

    // The socket a PC/SC client is given in PCSCLITE_CSOCK_NAME.
    const std::filesystem::path& clientSocket() const { return clientSocket_; }
    const std::string& readerName() const { return setup_.readerName; }

  private:
    void Start();
    bool ReaderListed();
    void Stop();
    std::string LogTail() const;

    PcscdSetup setup_;
    std::filesystem::path clientSocket_;
    std::filesystem::path log_;
    pid_t pid_ = -1;
};

// The IFD handler beside the termsim executable or in its installed place, else where the build
// put it.
std::filesystem::path DefaultCcidDriver();

}  // namespace termsim
