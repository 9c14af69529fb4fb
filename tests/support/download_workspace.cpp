#include "support/download_workspace.h"

#include <algorithm>
#include <iterator>

#include "support/frames.h"

namespace termload::download_test {

Workspace::Workspace() {
    config.baseDir = Dir().string();
    config.settings.modeCodes = {"05"};
    config.controls.modelItems = {"M740-32"};
    config.controls.modelIndex = 0;
    config.controls.hardVersion = "10";
    config.settings.pieceDelayMs = 0;
    config.settings.frameDelayMs = 0;
    config.settings.fileIntervalPer8000BytesMs = 0;
    config.settings.fileIntervalFixedMs = 0;
    options.timings = Timings::Scaled(0.05);
    // Opening a port flushes its queues; on a pseudo-terminal that also drops what the terminal
    // has not read yet, so the terminal keeps the full pause between two opens to read it.
    options.timings.channelSettleMs = Timings{}.channelSettleMs;
    options.userAddrFile = dir_ / "UserAddrFile.ini";
}

void Workspace::AddFile(const std::string& name, std::size_t size, unsigned seed,
                        const std::string& destination) {
    const auto path = dir_.Write(name, PatternBytes(size, seed));
    EXPECT_EQ(config.files.AddFileRow(1, path.string(), destination.empty() ? name : destination),
              AddRowResult::Added);
}

std::vector<nlohmann::json> Events(const std::vector<nlohmann::json>& results,
                                   const std::string& event, const std::string& key,
                                   const std::string& value) {
    std::vector<nlohmann::json> events;
    std::copy_if(results.begin(), results.end(), std::back_inserter(events), [&](const auto& l) {
        return l.value("event", "") == event && (key.empty() || l.value(key, "") == value);
    });
    return events;
}

::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return ::testing::AssertionFailure()
           << actual.size() << " bytes where " << expected.size()
           << " were expected, first difference at byte " << (diff.first - actual.begin());
}

std::string ExpectedFrames(bool full, int fileCount, const std::string& name,
                           const std::string& content) {
    return test::Frames({static_cast<std::uint8_t>(fileCount), 0x05, 0x10, name}, content,
                        full ? test::FrameLayout::Full : test::FrameLayout::Compact);
}

}  // namespace termload::download_test
