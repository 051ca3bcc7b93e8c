// The chunked, reply-checked download of the web image.
#include "download.h"

#include "modbus_frame.h"
#include "web_image.h"

#include <algorithm>

namespace kelvarin {

ChunkedDownload::ChunkedDownload(std::span<const std::uint8_t> image)
    : m_image(image), m_matcher(m_frame.Bytes(), 0) {
    m_report.imageLength = image.size();
    m_report.imageRefused = image.size() % 2 != 0 || image.size() > kImageCapacity;
    Prepare();
}

bool ChunkedDownload::Done() const {
    return m_report.imageRefused || m_report.connectionLost || m_sent >= m_image.size();
}

void ChunkedDownload::Prepare() {
    if (Done()) {
        return;
    }
    const std::size_t n = std::min(m_image.size() - m_sent, modbus::kChunkBytes);
    m_frame.Set(modbus::PositionOf(m_sent), m_image.data() + m_sent, n);
    m_matcher = ReplyMatcher(m_frame.Bytes(), m_frame.Size());
}

ChunkOutcome ChunkedDownload::Settle(ChunkResult result) {
    const modbus::FilePosition position = modbus::PositionOf(m_sent);
    const std::size_t n = m_frame.Size() - modbus::kRecordDataAt;
    m_sent += n;
    ++m_report.chunks;

    ChunkOutcome outcome;
    outcome.sent = m_sent;
    outcome.pageOffset = position.record + n;
    outcome.fileNumber = position.file;
    outcome.result = result;
    if (result != ChunkResult::kConnectionLost) {
        m_report.bytesSent = m_sent;
    } else {
        m_report.connectionLost = true;
    }
    if (result != ChunkResult::kEcho) {
        ++m_report.failedChunks;
    }
    // After a chunk whose reply did not end cleanly, a late reply may still
    // be on its way. (A late echo that comes later still is set aside by the
    // reply check.)
    m_mayHaveLeftovers = result != ChunkResult::kEcho;
    Prepare();
    return outcome;
}

DownloadReport DownloadImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                             const LinkTimeouts& timeouts, DownloadObserver& observer) {
    ChunkedDownload download(image);
    while (!download.Done()) {
        const ChunkFrame& frame = download.Request();
        const int size = static_cast<int>(frame.Size());
        const bool linkOk = (!download.MayHaveLeftovers() || DiscardPending(link)) &&
                            link.SendFor(frame.Bytes(), size, timeouts.sendMs) == size;
        const ChunkResult result = linkOk ? AwaitReply(link, download.Matcher(), timeouts.replyMs)
                                          : ChunkResult::kConnectionLost;
        observer.OnChunk(download.Settle(result));
    }
    return download.Report();
}

}  // namespace kelvarin
