#include "engine/ordinary_file_flow.h"
#include "config/paths.h"

#include <algorithm>
#include <stdexcept>

#include "config/string_table.h"
#include "config/text_encoding.h"
#include "engine/block_loop.h"
#include "engine/crc32.h"
#include "engine/download_job.h"
#include "engine/download_texts.h"
#include "engine/file_frame.h"
#include "engine/message_pump.h"
#include "engine/port_slot_table.h"
#include "engine/slot_channel.h"
#include "engine/source_file.h"

namespace termload {

namespace {

constexpr int kBlockReadAttempts = 3;
constexpr std::uint64_t kBytesPerFileInterval = 8000;
constexpr char kReadFailureCode = '1';
constexpr int kProgressDone = 100;
// A source that keeps changing while it is sent is given up after this many sends.
constexpr int kSourceChangeAttempts = 3;

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
    slot.Table().Sink().FileFinished({slot.Index(), file.row, PathToUtf8(file.source),
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

namespace {

// How one attempt at sending the file's blocks ended.
struct Attempt {
    FileOutcome outcome = FileOutcome::Failed;
    std::uint64_t size = 0;
    bool sourceChanged = false;  // the bytes read differ from those the frames announced
    bool framesTried = false;    // it got as far as its blocks (the pauses after a file follow)
};

Attempt SendOnce(PortSlot& slot, const DownloadJob& job, FileFrame& frame, const FileToSend& file) {
    const std::string prefix = StatusPrefix(slot.portNumber);
    const int lang = job.langBase;
    SlotStatus& status = slot.status;
    const Timings& time = slot.Table().Time();
    Attempt attempt;

    // One open file serves the size, the CRC and the blocks. The size is checked first: a huge
    // file is refused without being read.
    SourceFile source(file.source);
    const std::int64_t size = source.IsOpen() ? source.Size() : -1;
    if (size > kMaxFileSize) {
        status.Show(prefix + status.Text() + std::string(TextOf(lang, kTextFileTooLarge)),
                    StatusColour::Red);
        attempt.size = static_cast<std::uint64_t>(size);
        return attempt;
    }
    std::uint32_t crc = 0;
    if (size < 0 || !Crc32OfOpenFile(source, crc, std::chrono::milliseconds(time.crcReadRetryMs))) {
        status.Show(status.Text() + prefix + std::string(TextOf(lang, kTextFileOpenFailed)),
                    StatusColour::Red);
        return attempt;
    }
    attempt.size = static_cast<std::uint64_t>(size);
    if (size == 0) {
        // The start refuses empty files; one that became empty since has no frame to carry it, and
        // the terminal would wait for it: reading its first block gave nothing.
        status.Show(FrameFailureText(prefix, lang, kReadFailureCode), StatusColour::Red);
        return attempt;
    }

    const std::uint64_t length = attempt.size;
    const auto blocks =
        static_cast<std::uint32_t>((length + FileFrame::kBlockSize - 1) / FileFrame::kBlockSize);
    frame.SetDestination(WireDestination(file.destination, DestinationLimit(job.newMachine)));
    frame.SetFileLength(static_cast<std::uint32_t>(length));
    frame.SetFileCrc(crc);
    frame.SetBlockCount(blocks);
    status.SetProgressRange(0, static_cast<int>(blocks));
    attempt.framesTried = true;

    // The CRC of the bytes that go out, block by block from block 0 (a restart begins it again):
    // before the last block leaves, it must be the CRC the frames announce, else the file changed
    // while it was being sent and the terminal would reject it.
    std::uint32_t sentCrc = 0xFFFFFFFFu;
    try {
        const BlockLoopEnd end = SendFileBlocks(
            slot, job, frame, file.destination, blocks,
            [&](std::uint32_t block) -> std::size_t {
                const std::uint64_t offset = std::uint64_t{block} * FileFrame::kBlockSize;
                const auto blockLength = static_cast<std::size_t>(
                    std::min<std::uint64_t>(FileFrame::kBlockSize, length - offset));
                const std::size_t got =
                    ReadBlock(source, frame, offset, blockLength, time.blockReadRetryMs);
                if (got == 0) {
                    status.Show(FrameFailureText(prefix, lang, kReadFailureCode),
                                StatusColour::Red);
                    return 0;
                }
                if (block == 0) {
                    sentCrc = 0xFFFFFFFFu;
                }
                sentCrc = Crc32Update(sentCrc, frame.Data().data(),
                                      static_cast<std::uint32_t>(blockLength));
                if (block + 1 == blocks &&
                    (~sentCrc != crc || source.Size() != static_cast<std::int64_t>(length))) {
                    attempt.sourceChanged = true;
                    return 0;
                }
                return got;
            },
            [&](std::uint32_t block, std::size_t got) {
                const std::uint64_t offset = std::uint64_t{block} * FileFrame::kBlockSize;
                status.Show(BlockProgressText(prefix, lang, file.fileName, offset + got, length),
                            StatusColour::Black);
            });
        switch (end) {
            case BlockLoopEnd::AllSent:
                attempt.outcome = FileOutcome::Sent;
                break;
            case BlockLoopEnd::AllSentAfterRestart:
                attempt.outcome = FileOutcome::SentAfterRestart;
                break;
            case BlockLoopEnd::PassOver:
                attempt.outcome = FileOutcome::PassOver;
                break;
            case BlockLoopEnd::Stopped:
                SlotCloseChannel(slot);
                break;
            case BlockLoopEnd::Failed:
                break;
        }
    } catch (const std::exception&) {
        status.Show(prefix + status.Text() + std::string(TextOf(lang, kTextUndefinedError)),
                    StatusColour::Red);
        slot.stop.Request();
    }
    // The bar ends full: at 100, as the terminals' tool always set it, or at its maximum when a
    // file has more blocks than that.
    status.SetProgressPosition(std::max(kProgressDone, static_cast<int>(blocks)));
    return attempt;
}

}  // namespace

FileOutcome SendOrdinaryFile(PortSlot& slot, const DownloadJob& job, FileFrame& frame,
                             const FileToSend& file) {
    const std::string prefix = StatusPrefix(slot.portNumber);
    SlotStatus& status = slot.status;

    if (!slot.Link().Open(LinkMode::Normal)) {
        if (slot.stop.IsRequested()) {
            return FileOutcome::Failed;  // a stop refuses the open: no fault of the port
        }
        status.Show(prefix + std::string(TextOf(job.langBase, kTextPortOpenFailed)),
                    StatusColour::Red);
        return FileOutcome::PortLost;
    }

    Attempt attempt;
    for (int tries = 1;; ++tries) {
        status.Show(prefix + file.fileName + "...", StatusColour::Black);
        attempt = SendOnce(slot, job, frame, file);
        if (!attempt.sourceChanged || slot.stop.IsRequested()) {
            break;
        }
        if (tries == kSourceChangeAttempts) {
            status.Show(FrameFailureText(prefix, job.langBase, kReadFailureCode),
                        StatusColour::Red);
            break;
        }
        // Sent again from block 0 with what the file holds now; the terminal follows a restart.
    }
    const bool ok =
        attempt.outcome == FileOutcome::Sent || attempt.outcome == FileOutcome::SentAfterRestart;
    if (ok) {
        status.Show(FileOkText(prefix, file.fileName), StatusColour::Blue);
    }
    ReportFile(slot, file, attempt.size, ok);
    if (attempt.outcome == FileOutcome::PassOver) {
        return attempt.outcome;
    }

    if (attempt.framesTried && !slot.stop.IsRequested()) {
        const std::uint64_t pause =
            attempt.size / kBytesPerFileInterval * job.pacing.fileIntervalMs;
        DelayWithMessages(static_cast<std::uint32_t>(std::min<std::uint64_t>(pause, UINT32_MAX)));
        DelayWithMessages(job.pacing.fileIntervalFixedMs);
    }
    return attempt.outcome;
}

}  // namespace termload
