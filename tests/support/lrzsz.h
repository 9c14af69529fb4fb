// lrzsz's YMODEM receiver as the far end of a line, for the sender's tests and benchmark.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>

#include "support/process.h"

namespace termload::test {

// rb on `line` (a path), storing into `into` what the header names, its messages in `log`.
std::unique_ptr<Process> StartRb(const std::filesystem::path& line,
                                 const std::filesystem::path& into,
                                 const std::filesystem::path& log);

// rb discards its input right after its very first "C" (and only then; the "C"s it repeats on
// time-outs are not followed by a discard), so a quick header can be lost, and a header is never
// resent on a "C". Reads that first "C" off `line` so that a sender started next answers the
// second one. False when none came in `limit`.
bool TakeFirstCall(const std::filesystem::path& line, std::chrono::milliseconds limit);

}  // namespace termload::test
