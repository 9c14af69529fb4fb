// termload-cli ccid: the readers PC/SC offers, and whether the terminal behind one is ready; also
// the connection `run --transport ccid` downloads over.
#include <cstdio>

#include "cli/ccid_connect.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "engine/ccid_probe_policy.h"
#include "engine/message_pump.h"
#include "engine/stop_signal.h"

namespace termload::cli {

namespace {

void Refuse(const std::string& reason) {
    std::fprintf(stderr, "termload-cli: %s\n", reason.c_str());
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

// The reader to use, or nothing (refused) when there is none or none of that name.
std::optional<std::string> ChooseReader(const std::vector<std::string>& readers,
                                        const std::optional<std::string>& name) {
    if (readers.empty()) {
        Refuse("no USB-CCID reader: PC/SC lists none");
        return std::nullopt;
    }
    if (!name) {
        return readers.front();
    }
    for (const std::string& reader : readers) {
        if (reader == *name) {
            return reader;
        }
    }
    Refuse("no USB-CCID reader named \"" + *name + "\" (readers: " + Joined(readers) + ")");
    return std::nullopt;
}

}  // namespace

CcidConnection ConnectCcidReader(const std::optional<std::string>& name, RunEvents& events) {
    CcidConnection connection;
    auto reader = std::make_shared<CcidReader>();
    const std::optional<std::string> chosen = ChooseReader(reader->ListReaders(), name);
    if (!chosen) {
        connection.exitCode = kExitUsage;
        return connection;
    }
    connection.name = *chosen;
    const int opened = reader->OpenAndProbe(*chosen, kCcidProbeAttempts, [&events] {
        DelayWithMessages(kCcidRestartPauseMs, events.InterruptSignal());
        return !events.Interrupted();
    });
    if (events.Interrupted()) {
        connection.exitCode = kExitStopped;
        return connection;
    }
    if (opened < 0) {
        Refuse("cannot connect to the reader \"" + *chosen + "\"");
        connection.exitCode = kExitFailed;
        return connection;
    }
    if (opened == 0) {
        Refuse("the terminal on \"" + *chosen + "\" is not ready after " +
               std::to_string(kCcidProbeAttempts) + " probes and reboot requests");
        connection.exitCode = kExitFailed;
        return connection;
    }
    connection.reader = std::move(reader);
    return connection;
}

int CcidCommand(const CcidOptions& options, RunEvents& events) {
    const std::vector<std::string> readers = CcidReader().ListReaders();
    for (const std::string& reader : readers) {
        std::printf("%s\n", reader.c_str());
    }
    const CcidConnection connection = ConnectCcidReader(options.reader, events);
    if (!connection.reader) {
        return connection.exitCode;
    }
    std::printf("%s: ready\n", connection.name.c_str());
    connection.reader->Close();
    return kExitAllOk;
}

}  // namespace termload::cli
