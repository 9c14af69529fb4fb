#include "private_pcscd.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <winscard.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace termsim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPcscd = "/usr/sbin/pcscd";
constexpr const char* kUsbDrivers = "/usr/lib/pcsc/drivers";

// Inside the new namespace: a private /run and no USB drivers, then pcscd itself (so the pid
// termsim holds is pcscd's).
constexpr const char* kNamespaceScript =
    "mount --bind \"$0\" /run && { [ ! -d \"$2\" ] || mount --bind \"$1\" \"$2\"; } && "
    "shift 2 && exec \"$@\"";

}  // namespace

fs::path DefaultCcidDriver() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        // Beside termsim, or where a package puts it: <prefix>/lib/termload/ccid beside
        // <prefix>/bin.
        const fs::path dir = self.parent_path();
        for (const fs::path& candidate :
             {dir / "libtermsim_ccid_ifd.so",
              dir / ".." / "lib" / "termload" / "ccid" / "libtermsim_ccid_ifd.so"}) {
            if (fs::exists(candidate, ec)) {
                return candidate.lexically_normal();
            }
        }
    }
#ifdef TERMSIM_CCID_DRIVER
    return TERMSIM_CCID_DRIVER;
#else
    return {};
#endif
}

PrivatePcscd::PrivatePcscd(PcscdSetup setup) : setup_(std::move(setup)) {
    if (::access(kPcscd, X_OK) != 0) {
        throw std::runtime_error(std::string(kPcscd) +
                                 " is missing: install the package pcscd for --ccid");
    }
    if (setup_.driver.empty() || !fs::exists(setup_.driver)) {
        throw std::runtime_error("termsim's reader driver libtermsim_ccid_ifd.so is missing");
    }
    const fs::path runRoot = setup_.dir / "run";
    fs::create_directories(runRoot / "pcscd");
    fs::create_directories(setup_.dir / "no-drivers");
    clientSocket_ = runRoot / "pcscd" / "pcscd.comm";
    fs::remove(clientSocket_);
    log_ = setup_.dir / "pcscd.log";
    {
        // pcscd changes to / before it reads this: every path in it is absolute. The ':' in the
        // device name keeps pcscd from looking for a device file.
        std::ofstream conf(setup_.dir / "reader.conf", std::ios::trunc);
        conf << "FRIENDLYNAME \"" << setup_.readerName << "\"\n"
             << "DEVICENAME   termsim:" << fs::absolute(setup_.terminalSocket).string() << "\n"
             << "LIBPATH      " << fs::absolute(setup_.driver).string() << "\n";
        if (!conf.flush()) {
            throw std::runtime_error("cannot write " + (setup_.dir / "reader.conf").string());
        }
    }
    Start();
    // PC/SC clients in this process (the wait below) reach the private daemon.
    ::setenv("PCSCLITE_CSOCK_NAME", clientSocket_.c_str(), 1);
    const auto end = std::chrono::steady_clock::now() + setup_.waitLimit;
    while (!ReaderListed()) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("the private pcscd ended at start (" +
                                     std::string(::geteuid() == 0
                                                     ? ""
                                                     : "no root: does the kernel allow "
                                                       "unprivileged user namespaces? ") +
                                     "log " + log_.string() + "): " + LogTail());
        }
        if (std::chrono::steady_clock::now() > end) {
            Stop();
            throw std::runtime_error("the private pcscd did not list the reader in time: " +
                                     LogTail());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

PrivatePcscd::~PrivatePcscd() {
    Stop();
}

void PrivatePcscd::Start() {
    const std::string runRoot = (setup_.dir / "run").string();
    const std::string noDrivers = (setup_.dir / "no-drivers").string();
    const std::string conf = (setup_.dir / "reader.conf").string();
    std::vector<std::string> argv = {"unshare"};
    if (::geteuid() != 0) {
        argv.insert(argv.end(), {"--user", "--map-root-user"});
    }
    argv.insert(argv.end(),
                {"--mount", "--propagation", "private", "--", "sh", "-c", kNamespaceScript, runRoot,
                 noDrivers, kUsbDrivers, kPcscd, "-f", "-c", conf});
    std::vector<char*> args;
    for (std::string& arg : argv) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    const int log = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0) {
        throw std::runtime_error("cannot create " + log_.string());
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive termsim
        if (::getppid() != parent) {
            ::_exit(1);
        }
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(log, 1);
        ::dup2(log, 2);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);  // termsim blocks SIGTERM for its signalfd
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(log);
    if (pid_ < 0) {
        throw std::runtime_error("cannot start pcscd");
    }
}

bool PrivatePcscd::ReaderListed() {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    bool found = false;
    if (SCardListReaders(context, nullptr, nullptr, &size) == SCARD_S_SUCCESS && size < 65536) {
        std::vector<char> names(size + 1, '\0');
        if (SCardListReaders(context, nullptr, names.data(), &size) == SCARD_S_SUCCESS) {
            for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1) {
                found = found || std::string(name).rfind(setup_.readerName, 0) == 0;
            }
        }
    }
    SCardReleaseContext(context);
    return found;
}

void PrivatePcscd::Stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 500; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string PrivatePcscd::LogTail() const {
    std::ifstream in(log_);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.size() > 600) {
        text = "..." + text.substr(text.size() - 600);
    }
    return text;
}

}  // namespace termsim
