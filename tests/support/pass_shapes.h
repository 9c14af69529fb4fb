// Passes of every shape a front end must count alike, run through the engine on a scripted link:
// the window's tally and the command line's report read the one outcome the engine decided.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/host_sink.h"
#include "support/scripted_link.h"

namespace termload::test {

enum class PassVerdict { Ok, Failed, Stopped };

struct PassShape {
    std::string name;
    bool m868 = false;  // the address file goes first: its frame is writes 1-2
    bool usbHid = false;
    struct Step {
        LinkCall call;
        int nth;
        LinkAction action;
        FailureCause cause = FailureCause::TimeOut;
    };
    std::vector<Step> steps;
    PassVerdict verdict = PassVerdict::Ok;
};

// All ok, M868 all ok, the address file refused on USB-HID, the address frame timing out on
// serial (it restarts), a file given up on USB-HID, a stop in a frame.
std::span<const PassShape> PassShapes();

// One pass of `shape` over two files (a.bin of 5000 bytes, b.bin of 12288) on COM1, or on
// USB-HID, reported into `host`. `ended` runs once the run has ended, before it is stopped.
void RunPassShape(const PassShape& shape, HostSink& host, const std::function<void()>& ended = {});

}  // namespace termload::test
