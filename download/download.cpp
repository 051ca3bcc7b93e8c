// The chunked, reply-checked download of the web image.
#include "download.h"

#include "chunk_frame.h"
#include "modbus_frame.h"

namespace kelvarin {

namespace {

// Files 16 and 17: the whole image memory.
constexpr std::size_t kLargestImage = 2 * modbus::kPageSize;

}  // namespace

DownloadReport DownloadImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                             const LinkTimeouts& timeouts, DownloadObserver& observer) {
    DownloadReport report;
    report.imageLength = image.size();
    if (image.size() % 2 != 0 || image.size() > kLargestImage) {
        report.imageRefused = true;
        return report;
    }

    ChunkFrame frame;
    std::size_t sent = 0;
    // After a chunk whose reply did not end cleanly, a late reply may still
    // be on its way: what has arrived of it is dropped before the next
    // request. (A late echo that comes later still is set aside by the reply
    // check.)
    bool mayHaveLeftovers = false;
    while (sent < image.size()) {
        const std::size_t n = std::min(image.size() - sent, modbus::kChunkBytes);
        const modbus::FilePosition position = modbus::PositionOf(sent);
        frame.Set(position, image.data() + sent, n);
        sent += n;
        ++report.chunks;

        ChunkOutcome outcome;
        outcome.number = report.chunks;
        outcome.sent = sent;
        outcome.pageOffset = position.record + n;
        outcome.fileNumber = position.file;

        const int size = static_cast<int>(frame.Size());
        const bool linkOk = (!mayHaveLeftovers || DiscardPending(link)) &&
                            link.SendFor(frame.Bytes(), size, timeouts.sendMs) == size;
        outcome.result =
            linkOk ? AwaitReply(link, frame, timeouts.replyMs) : ChunkResult::kConnectionLost;
        if (linkOk) {
            report.bytesSent = sent;
        }
        if (outcome.result != ChunkResult::kEcho) {
            ++report.failedChunks;
        }
        mayHaveLeftovers = outcome.result != ChunkResult::kEcho;
        if (outcome.result == ChunkResult::kConnectionLost) {
            report.connectionLost = true;
        }
        observer.OnChunk(outcome);
        if (report.connectionLost) {
            break;
        }
    }
    return report;
}

}  // namespace kelvarin
