#include "channels/trace_log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "channels/file_append.h"
#include "channels/local_time.h"
#include "config/paths.h"

namespace termload {
namespace {

// The system's texts for a warning are cut so that the whole warning stays within this many
// bytes, terminator included.
constexpr std::size_t kWarningLineLimit = 200;

struct TraceLogState {
    std::mutex mutex;  // guards the fields and every write to the file
    std::filesystem::path path;
    std::uintmax_t rotateBytes = kTraceLogRotateBytes;
    int keptFiles = kTraceLogKeptFiles;
};

TraceLogState& State() {
    static TraceLogState state;
    return state;
}

std::filesystem::path DefaultLogPath() {
    const std::filesystem::path directory = TraceLogDir();
    return directory.empty() ? std::filesystem::path() : directory / "LOG.txt";
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// LOG.txt -> LOG.<number>.txt
std::filesystem::path OlderLogPath(const std::filesystem::path& path, int number) {
    std::filesystem::path older = path.parent_path() / path.stem();
    older += "." + std::to_string(number);
    older += path.extension();
    return older;
}

// Moves a full log aside. Each name is cleared before it is taken, as a rename onto an existing
// file fails on Windows; one that fails (another program has the file open there) leaves the log
// to grow until the next try.
void RotateWhenFull(const TraceLogState& state) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(state.path, error);
    if (error || size < state.rotateBytes) {
        return;
    }
    for (int number = state.keptFiles; number >= 1; --number) {
        const std::filesystem::path from =
            number == 1 ? state.path : OlderLogPath(state.path, number - 1);
        std::filesystem::remove(OlderLogPath(state.path, number), error);
        std::filesystem::rename(from, OlderLogPath(state.path, number), error);
    }
    if (state.keptFiles <= 0) {
        std::filesystem::remove(state.path, error);
    }
}

// Opens the log for appending; the caller holds the state's mutex. A log that was never fixed
// goes where a fixed one would at its first use. The per-user directory may not exist yet.
File OpenLog(TraceLogState& state) {
    if (state.path.empty()) {
        state.path = DefaultLogPath();
    }
    if (!state.path.empty()) {
        RotateWhenFull(state);
    }
    File file(OpenForAppending(state.path));
    if (!file && errno == ENOENT && !state.path.empty()) {
        std::error_code error;
        std::filesystem::create_directories(state.path.parent_path(), error);
        file.reset(OpenForAppending(state.path));
    }
    return file;
}

void WriteLine(std::FILE* file, std::string_view text) {
    const std::tm now = LocalCalendarTimeNow();
    std::fprintf(file, "<%04d-%02d-%02d %02d:%02d:%02d> %.*s\n", now.tm_year + 1900, now.tm_mon + 1,
                 now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec, static_cast<int>(text.size()),
                 text.data());
}

void WriteHex(std::FILE* file, const void* bytes, std::size_t count) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        std::fprintf(file, "%02X ", data[i]);
        const std::size_t written = i + 1;
        if (written % 16 == 0 || written == count) {
            std::fputc('\n', file);
        }
        if (written % 256 == 0) {
            std::fputc('\n', file);
        }
    }
}

// Cuts a UTF-8 text to at most `limit` bytes without splitting a character.
std::string_view CutUtf8(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

}  // namespace

void FixTraceLogPath() {
    SetTraceLogPath(DefaultLogPath());
}

void SetTraceLogPath(std::filesystem::path path) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.path = std::move(path);
}

void SetTraceLogRotation(std::uintmax_t rotateBytes, int keptFiles) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.rotateBytes = rotateBytes;
    state.keptFiles = keptFiles;
}

void TraceText(std::string_view text) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (File file = OpenLog(state)) {
        WriteLine(file.get(), text);
    }
}

void TraceHex(const void* bytes, std::size_t count) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (File file = OpenLog(state)) {
        WriteHex(file.get(), bytes, count);
    }
}

void TraceTextWithHex(std::string_view text, const void* bytes, std::size_t count) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (File file = OpenLog(state)) {
        WriteLine(file.get(), text);
        WriteHex(file.get(), bytes, count);
    }
}

void TraceWarning(int portNumber, std::string_view what, std::error_code error) {
    std::string reason = error.message();
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    const std::string head = TraceFormat("WARNING: COM%d %.*s  failed with error: ", portNumber,
                                         static_cast<int>(what.size()), what.data());
    // Room left for the reason, keeping the final "." and the terminator.
    const std::size_t room =
        head.size() + 2 < kWarningLineLimit ? kWarningLineLimit - head.size() - 2 : 0;
    TraceText(head + std::string(CutUtf8(reason, room)) + ".");
}

std::string TraceFormat(const char* format, ...) {
    char shortText[256];
    va_list arguments;
    va_start(arguments, format);
    const int length = vsnprintf(shortText, sizeof shortText, format, arguments);
    va_end(arguments);
    if (length < 0) {
        return {};
    }
    if (static_cast<std::size_t>(length) < sizeof shortText) {
        return {shortText, static_cast<std::size_t>(length)};
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    va_start(arguments, format);
    vsnprintf(text.data(), text.size() + 1, format, arguments);
    va_end(arguments);
    return text;
}

}  // namespace termload
