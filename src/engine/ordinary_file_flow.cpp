#include "engine/ordinary_file_flow.h"

#include <algorithm>
#include <stdexcept>

#include "config/string_table.h"
#include "config/text_encoding.h"
#include "engine/block_loop.h"
#include "engine/crc32.h"
#include "engine/download_job.h"
#include "engine/download_texts.h"
#include "engine/file_frame.h"
#include "engine/port_slot.h"
#include "engine/source_file.h"

namespace termload {

namespace {

constexpr std::size_t kFullDestinationLimit = 50;
constexpr std::size_t kCompactDestinationLimit = 14;
constexpr int kBlockReadAttempts = 3;
constexpr std::uint64_t kBytesPerFileInterval = 8000;
constexpr char kReadFailureCode = '1';
constexpr int kProgressDone = 100;

// Reads one block into the frame's data field (zero-padded), retrying short reads.
std::size_t ReadBlock(SourceFile& source, FileFrame& frame, std::uint64_t offset,
                      std::size_t length, std::uint32_t retryPauseMs) {
    std::size_t got = 0;
    for (int attempt = 0; attempt < kBlockReadAttempts; ++attempt) {
        std::fill(frame.Data().begin(), frame.Data().end(), 0);
        got = source.ReadAt(offset, frame.Data().first(length));
        if (got == length) {
            break;
        }
        DelayWithMessages(retryPauseMs);
    }
    return got;
}

void ReportFile(PortSlot& slot, const FileToSend& file, std::uint64_t size, bool ok) {
    slot.Table().Sink().FileFinished({slot.Index(), file.row, file.source.string(),
                                      file.destination, size, ok, slot.status.Text()});
}

}  // namespace

std::string WireDestination(const std::string& destination, std::size_t maxBytes) {
    std::string gbk = Utf8ToGbk(destination);
    std::size_t cut = 0;
    while (cut < gbk.size()) {
        // A GBK lead byte (0x81-0xFE) starts a two-byte character.
        const auto byte = static_cast<unsigned char>(gbk[cut]);
        const std::size_t width = byte >= 0x81 && byte <= 0xFE ? 2 : 1;
        if (cut + width > maxBytes) {
            break;
        }
        cut += width;
    }
    gbk.resize(std::min(cut, gbk.size()));
    return gbk;
}

FileOutcome SendOrdinaryFile(PortSlot& slot, const DownloadJob& job, FileFrame& frame,
                             const FileToSend& file) {
    const std::string prefix = StatusPrefix(slot.portNumber);
    const int lang = job.langBase;
    SlotStatus& status = slot.status;
    const Timings& time = slot.Table().Time();

    if (job.channel.transport != Transport::UsbCcid &&
        !SlotOpenChannel(slot.Table(), slot.portNumber, kChannelNormal)) {
        status.Show(prefix + std::string(TextOf(lang, kTextPortOpenFailed)), StatusColour::Red);
        slot.stop.Request();
        return FileOutcome::Fatal;
    }
    status.Show(prefix + file.fileName + "...", StatusColour::Black);

    // One open file serves the size, the CRC and the blocks, so all three describe the same
    // bytes even when the file is replaced meanwhile. The size is checked first: a huge file is
    // refused without being read.
    SourceFile source(file.source);
    const std::int64_t size = source.IsOpen() ? source.Size() : -1;
    if (size > kMaxFileSize) {
        status.Show(prefix + status.Text() + std::string(TextOf(lang, kTextFileTooLarge)),
                    StatusColour::Red);
        ReportFile(slot, file, static_cast<std::uint64_t>(size), false);
        return FileOutcome::TooLarge;
    }
    std::uint32_t crc = 0;
    if (size < 0 || !Crc32OfOpenFile(source, crc, std::chrono::milliseconds(time.crcReadRetryMs))) {
        status.Show(status.Text() + prefix + std::string(TextOf(lang, kTextFileOpenFailed)),
                    StatusColour::Red);
        ReportFile(slot, file, 0, false);
        return FileOutcome::Failed;
    }

    const auto length = static_cast<std::uint64_t>(size);
    const auto blocks =
        static_cast<std::uint32_t>((length + FileFrame::kBlockSize - 1) / FileFrame::kBlockSize);
    frame.SetDestination(WireDestination(
        file.destination, job.newMachine ? kFullDestinationLimit : kCompactDestinationLimit));
    frame.SetFileLength(static_cast<std::uint32_t>(length));
    frame.SetFileCrc(crc);
    frame.SetBlockCount(blocks);
    status.SetProgressRange(0, static_cast<int>(blocks));

    bool allSent = false;
    try {
        const BlockLoopEnd end = SendFileBlocks(
            slot, job, frame, blocks,
            [&](std::uint32_t block) {
                const std::uint64_t offset = std::uint64_t{block} * FileFrame::kBlockSize;
                const auto blockLength = static_cast<std::size_t>(
                    std::min<std::uint64_t>(FileFrame::kBlockSize, length - offset));
                const std::size_t got =
                    ReadBlock(source, frame, offset, blockLength, time.blockReadRetryMs);
                if (got == 0) {
                    status.Show(FrameFailureText(prefix, lang, kReadFailureCode),
                                StatusColour::Red);
                }
                return got;
            },
            [&](std::uint32_t block, std::size_t got) {
                const std::uint64_t offset = std::uint64_t{block} * FileFrame::kBlockSize;
                status.Show(BlockProgressText(prefix, lang, file.fileName, offset + got, length),
                            StatusColour::Black);
            });
        if (end == BlockLoopEnd::Stopped) {
            SlotCloseChannel(slot);
        }
        allSent = end == BlockLoopEnd::AllSent;
    } catch (const std::exception&) {
        status.Show(prefix + status.Text() + std::string(TextOf(lang, kTextUndefinedError)),
                    StatusColour::Red);
        slot.stop.Request();
    }
    // The bar ends full: at 100, as the terminals' tool always set it, or at its maximum when a
    // file has more blocks than that.
    status.SetProgressPosition(std::max(kProgressDone, static_cast<int>(blocks)));
    source.Close();
    if (allSent) {
        status.Show(FileOkText(prefix, file.fileName), StatusColour::Blue);
    }
    ReportFile(slot, file, length, allSent);

    if (!slot.stop.IsRequested()) {
        const std::uint64_t pause = length / kBytesPerFileInterval * job.pacing.fileIntervalMs;
        DelayWithMessages(static_cast<std::uint32_t>(std::min<std::uint64_t>(pause, UINT32_MAX)));
        DelayWithMessages(job.pacing.fileIntervalFixedMs);
    }
    return allSent ? FileOutcome::Sent : FileOutcome::Failed;
}

}  // namespace termload
