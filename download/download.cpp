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

        // A reply that arrived after its chunk's wait ended must not be read
        // as the answer to this one.
        const int size = static_cast<int>(frame.Size());
        const bool linkOk =
            DiscardPending(link) && link.SendFor(frame.Bytes(), size, timeouts.sendMs) == size;
        outcome.result =
            linkOk ? AwaitReply(link, frame, timeouts.replyMs) : ChunkResult::kConnectionLost;
        if (linkOk) {
            report.bytesSent = sent;
        }
        if (outcome.result != ChunkResult::kEcho) {
            ++report.failedChunks;
        }
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
