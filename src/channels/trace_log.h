#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace termload {

// The trace log LOG.txt. Each writer appends to the file and closes it again; lines written from
// different threads never interleave. A line that cannot be written is dropped silently.
// A pass of one port writes megabytes of hex dumps, so the log is bounded: once the file has
// reached its size it is renamed LOG.1.txt (an older LOG.1.txt becomes LOG.2.txt, and so on; the
// oldest is dropped) and a new LOG.txt begins. An entry (a line with its dump) is never split.
inline constexpr std::uintmax_t kTraceLogRotateBytes = 32u << 20;
inline constexpr int kTraceLogKeptFiles = 4;

// Fixes the log at LOG.txt in the current directory, or in the per-user directory for an
// installed program (TraceLogDir(); done by ChannelLibInit).
void FixTraceLogPath();
// Points the log at another file (tests, and hosts that keep their logs elsewhere).
void SetTraceLogPath(std::filesystem::path path);
// The size at which the log moves aside and how many older files are kept (tests).
void SetTraceLogRotation(std::uintmax_t rotateBytes, int keptFiles);

// "<yyyy-mm-dd hh:mm:ss> text\n" with the local time.
void TraceText(std::string_view text);
// Each byte as "%02X ", a line break after every 16th byte and after the last one, and a blank
// line after every 256th byte. No time stamp.
void TraceHex(const void* bytes, std::size_t count);
// A TraceText line directly followed by the hex dump of the bytes, kept together in the file.
void TraceTextWithHex(std::string_view text, const void* bytes, std::size_t count);
// "WARNING: COMn <what>  failed with error: <system text>." with the text of `error`, cut so
// that the line stays within 200 bytes.
void TraceWarning(int portNumber, std::string_view what, std::error_code error);

// printf-style formatting into a string, for the log's fixed texts.
std::string TraceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace termload
