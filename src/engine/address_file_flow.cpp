#include "engine/address_file_flow.h"

#include <algorithm>
#include <stdexcept>

#include "config/address_file.h"
#include "config/string_table.h"
#include "config/text_encoding.h"
#include "engine/block_loop.h"
#include "engine/crc32.h"
#include "engine/download_job.h"
#include "engine/download_texts.h"
#include "engine/file_frame.h"
#include "engine/message_pump.h"
#include "engine/model_class.h"
#include "engine/port_slot_table.h"

namespace termload {

namespace {

constexpr int kProgressDone = 100;

}  // namespace

std::string AddressFileShownName(std::string_view name) {
    const std::size_t dot = name.find('.');
    return std::string(name.substr(0, dot == std::string_view::npos ? name.size() : dot + 1))
        .append("adr");
}

AddressFileOutcome SendAddressFile(PortSlot& slot, const DownloadJob& job, FileFrame& frame,
                                   std::string_view name, std::span<const std::string> names) {
    const std::string prefix = StatusPrefix(slot.portNumber);
    const int lang = job.langBase;
    SlotStatus& status = slot.status;

    if (!slot.Link().Open(LinkMode::Normal)) {
        if (slot.stop.IsRequested()) {
            return AddressFileOutcome::Stopped;  // a stop refuses the open: no fault of the port
        }
        status.Show(prefix + std::string(TextOf(lang, kTextPortOpenFailed)), StatusColour::Red);
        return AddressFileOutcome::OpenFailed;
    }

    const std::string shownName = AddressFileShownName(name);
    std::string destination;
    if (ModelClass(job.modelName) == kModelClassM868 && !job.rootDir.empty() &&
        !shownName.starts_with(job.rootDir)) {
        destination = job.rootDir + shownName;
    }
    status.Show(AddressFileStartText(prefix, shownName), StatusColour::Black);

    std::string text = BuildAddressText(names, job.useLocalAddress ? 1 : 0, job.userAddresses,
                                        job.addressTraceDir);
    text.resize(std::min({text.find('\0'), text.size(), FileFrame::kBlockSize}));
    const auto length = static_cast<std::uint32_t>(text.size());
    const std::uint32_t crc =
        ~Crc32Update(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(text.data()), length);

    frame.SetDestination(Utf8ToGbk(destination));
    frame.SetFileLength(length);
    frame.SetFileCrc(crc);
    const std::uint32_t blocks = length == 0 ? 0 : 1;
    frame.SetBlockCount(blocks);
    status.SetProgressRange(0, static_cast<int>(blocks));
    if (blocks == 0) {
        // The terminal is not to wait for a file that has no frame.
        frame.SetFileCount(static_cast<std::uint8_t>(frame.FileCount() - 1));
    }

    bool allSent = false;
    bool restarted = false;
    bool passOver = false;
    try {
        const BlockLoopEnd end = SendFileBlocks(
            slot, job, frame, std::string(name), blocks,
            [&](std::uint32_t) {
                std::fill(frame.Data().begin(), frame.Data().end(), 0);
                std::copy(text.begin(), text.end(), frame.Data().begin());
                return text.size();
            },
            [&](std::uint32_t, std::size_t) {
                status.Show(AddressFileProgressText(prefix, shownName, length, length),
                            StatusColour::Black);
            });
        if (end == BlockLoopEnd::Stopped) {
            return AddressFileOutcome::Stopped;
        }
        allSent = end == BlockLoopEnd::AllSent || end == BlockLoopEnd::AllSentAfterRestart;
        restarted = end == BlockLoopEnd::AllSentAfterRestart;
        passOver = end == BlockLoopEnd::PassOver;
    } catch (const std::exception&) {
        status.Show(prefix + status.Text() + std::string(TextOf(lang, kTextUndefinedError)),
                    StatusColour::Red);
        slot.stop.Request();
    }
    status.SetProgressPosition(kProgressDone);
    if (allSent) {
        status.Show(AddressFileOkText(prefix, shownName), StatusColour::Blue);
    }
    slot.Table().Sink().FileFinished(
        {slot.Index(), -1, std::string(name), destination, length, allSent, status.Text()});
    if (passOver) {
        return AddressFileOutcome::PassOver;
    }
    if (!slot.stop.IsRequested()) {
        DelayWithMessages(length / std::max<std::uint32_t>(job.pacing.fileIntervalMs, 1));
    }
    if (!allSent) {
        return AddressFileOutcome::Failed;
    }
    return restarted ? AddressFileOutcome::SentAfterRestart : AddressFileOutcome::Sent;
}

}  // namespace termload
