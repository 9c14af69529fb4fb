// Configurations whose start both front ends refuse alike, before any port is touched: the window
// with one box, the command line with one line and exit 2, both naming the row or the setting and
// why, and no row changed. Each front end writes the configuration its own way, in English.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace termload::test {

struct RefusedStart {
    std::string name;
    std::string configLines;        // lines of section "Config" (model M740-32 selected)
    std::vector<std::string> rows;  // "kind;source;destination", sources beside the configuration
    std::vector<std::pair<std::string, std::uintmax_t>> files;  // sources to make: name, size
    std::string mention;                                        // what the message says
};

inline std::vector<RefusedStart> RefusedStarts() {
    return {
        {"a destination over 50 bytes",
         "NewMachine=1\n",
         {"1;a.bin;a.bin", "1;long.bin;" + std::string(51, 'n')},
         {{"a.bin", 10}, {"long.bin", 10}},
         "Download not started: row 2 of the file list (long.bin):  Destination filename length "
         "muse less  50!"},
        {"a source over 64 MiB",
         "",
         {"1;a.bin;a.bin", "1;huge.bin;huge.bin"},
         {{"a.bin", 10}, {"huge.bin", 0x3FC0001}},
         "Download not started: row 2 of the file list (huge.bin): Source file: "},
        {"a missing source",
         "",
         {"1;gone.bin;gone.bin", "1;a.bin;a.bin"},
         {{"a.bin", 10}},
         "Download not started: row 1 of the file list (gone.bin): Source file: "},
        {"one name on the terminal once RootDir is in front",
         "RootDir=/home/\n",
         {"1;a.bin;a.bin", "1;b.bin;/home/a.bin"},
         {{"a.bin", 10}, {"b.bin", 10}},
         "Rows go to the same destination on the terminal: /home/a.bin (a.bin, b.bin)"},
        {"serial settings no port takes",
         "StopBit=55\nFlowCtrl=7\n",
         {"1;a.bin;a.bin"},
         {{"a.bin", 10}},
         "Serial settings no port takes, choose them again: StopBit, FlowCtrl"},
    };
}

}  // namespace termload::test
