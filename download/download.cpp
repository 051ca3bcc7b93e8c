// The chunked, reply-checked download of the web image, and the driver that
// runs a transfer over one link.
#include "download.h"

#include "modbus_frame.h"
#include "web_image.h"
#include "wire_trace.h"

#include <algorithm>
#include <cstring>

namespace kelvarin {

namespace {

constexpr std::size_t kLargestImage = kImageCapacity;
static_assert(kLargestChunkBytes == modbus::kMaxChunkBytes);
static_assert(kDefaultChunkBytes == modbus::kChunkBytes);

}  // namespace

// ---- WritePlan ----

WritePlan::WritePlan(std::span<const std::uint8_t> image, std::size_t chunkBytes,
                     std::uint8_t unit)
    : m_image(image),
      m_chunk(std::clamp<std::size_t>(chunkBytes & ~std::size_t{1}, 2, modbus::kMaxChunkBytes)),
      m_unit(unit) {
    const std::size_t first = std::min(image.size(), modbus::kPageSize);
    const std::size_t second = image.size() - first;
    m_firstFileChunks = (first + m_chunk - 1) / m_chunk;
    m_count = m_firstFileChunks + (second + m_chunk - 1) / m_chunk;
}

WritePlan::WritePlan(std::span<const std::uint8_t> image, std::size_t chunkBytes,
                     std::uint8_t unit, std::vector<std::size_t> starts)
    : WritePlan(image, chunkBytes, unit) {
    m_starts = std::move(starts);
    m_count = m_starts.size();
}

std::size_t WritePlan::Start(std::size_t index) const {
    if (!m_starts.empty()) {
        return m_starts[index];
    }
    return index < m_firstFileChunks ? index * m_chunk
                                     : modbus::kPageSize + (index - m_firstFileChunks) * m_chunk;
}

std::size_t WritePlan::Length(std::size_t index) const {
    const std::size_t start = Start(index);
    const std::size_t fileEnd = start < modbus::kPageSize ? modbus::kPageSize : kLargestImage;
    return std::min({m_chunk, fileEnd - start, m_image.size() - start});
}

std::vector<std::size_t> DifferingChunks(std::span<const std::uint8_t> image,
                                         std::span<const std::uint8_t> base,
                                         std::size_t chunkBytes) {
    const WritePlan every(image, chunkBytes);
    std::vector<std::size_t> chunks;
    for (std::size_t i = 0; i < every.Count(); ++i) {
        const std::size_t start = every.Start(i);
        const std::size_t end = start + every.Length(i);
        if (end > base.size() || !std::equal(image.begin() + static_cast<std::ptrdiff_t>(start),
                                             image.begin() + static_cast<std::ptrdiff_t>(end),
                                             base.begin() + static_cast<std::ptrdiff_t>(start))) {
            chunks.push_back(start);
        }
    }
    return chunks;
}

std::size_t WritePlan::Encode(std::size_t index, std::uint16_t transaction,
                              std::uint8_t* frame) const {
    const std::size_t start = Start(index);
    return modbus::EncodeWriteFileRecord(frame, modbus::PositionOf(start), m_image.data() + start,
                                         Length(index), transaction, m_unit);
}

Result WritePlan::Judge(std::size_t /*index*/, std::span<const std::uint8_t> request,
                        std::span<const std::uint8_t> reply) {
    if (reply.size() == request.size() &&
        std::memcmp(reply.data(), request.data(), reply.size()) == 0) {
        return {Outcome::kGood};
    }
    // Any other answer may be mended by another try (a write that a device
    // refused once may pass once its memory is ready); busy says so outright.
    const std::uint8_t exception = modbus::ExceptionCodeOf(reply.data(), reply.size());
    return {exception == modbus::kExceptionBusy ? Outcome::kBusy : Outcome::kWrong, exception};
}

bool WritePlan::AnswersEarlier(std::span<const std::uint8_t> request,
                               std::span<const std::uint8_t> frame) const {
    // A well-formed Write File Record frame for a position before this
    // request's. Chunks go out in image order, so only earlier ones can
    // answer late; a reply for this position that differs is a wrong reply.
    if (!modbus::IsWriteFileRecord(frame.data(), frame.size())) {
        return false;
    }
    const modbus::FilePosition late = modbus::RequestPosition(frame.data());
    const modbus::FilePosition own = modbus::RequestPosition(request.data());
    return late.file >= modbus::kFirstImageFile &&
           modbus::OffsetOf(late.file, late.record) < modbus::OffsetOf(own.file, own.record);
}

bool ImageFitsMemory(std::span<const std::uint8_t> image) {
    return image.size() % 2 == 0 && image.size() <= kLargestImage;
}

// ---- ChunkedDownload ----

namespace {

// An image refused: no chunks at all.
std::span<const std::uint8_t> Sendable(std::span<const std::uint8_t> image) {
    return ImageFitsMemory(image) ? image : std::span<const std::uint8_t>();
}

}  // namespace

ChunkedDownload::ChunkedDownload(std::span<const std::uint8_t> image,
                                 const TransferOptions& options, DownloadObserver& observer,
                                 TransactionIds& ids)
    : TransferRelay(observer),
      m_plan(Sendable(image), options.chunkBytes, options.unit),
      m_observer(observer),
      m_transfer(m_plan, options, options.TransactionIds() ? &ids : nullptr, false, *this),
      m_echoed(m_plan.Count(), false) {
    m_report.imageLength = image.size();
    m_report.imageRefused = !ImageFitsMemory(image);
}

ChunkedDownload::ChunkedDownload(std::span<const std::uint8_t> image,
                                 std::vector<std::size_t> starts, const TransferOptions& options,
                                 DownloadObserver& observer, TransactionIds& ids)
    : TransferRelay(observer),
      m_plan(Sendable(image), options.chunkBytes, options.unit,
             ImageFitsMemory(image) ? std::move(starts) : std::vector<std::size_t>()),
      m_observer(observer),
      m_transfer(m_plan, options, options.TransactionIds() ? &ids : nullptr, false, *this),
      m_echoed(m_plan.Count(), false) {
    for (std::size_t i = 0; i < m_plan.Count(); ++i) {
        m_report.imageLength += m_plan.Length(i);
    }
    m_report.imageRefused = !ImageFitsMemory(image);
}

ChunkOutcome ChunkOutcomeOf(const RequestSpan& request, Result result) {
    const modbus::FilePosition position = modbus::PositionOf(request.offset);
    ChunkOutcome outcome;
    outcome.sent = request.offset + request.length;
    outcome.pageOffset = position.record + request.length;
    outcome.fileNumber = position.file;
    outcome.result = result.outcome;
    outcome.exception = result.exception;
    return outcome;
}

void ChunkedDownload::OnSettled(const RequestSpan& request, Result result, int tries) {
    ChunkOutcome chunk = ChunkOutcomeOf(request, result);
    chunk.tries = tries;
    ++m_report.chunks;
    if (chunk.result != Outcome::kConnectionLost) {
        m_report.bytesSent += request.length;
    }
    if (chunk.result != Outcome::kGood) {
        ++m_report.failedChunks;
    } else {
        // Chunks cover the image in order without gaps: the prefix grows
        // over every echoed chunk from its end on.
        m_echoed[request.index] = true;
        m_report.bytesEchoed += request.length;
        while (m_prefixChunks < m_echoed.size() && m_echoed[m_prefixChunks]) {
            m_report.echoedPrefix = m_plan.Start(m_prefixChunks) + m_plan.Length(m_prefixChunks);
            ++m_prefixChunks;
        }
    }
    chunk.progress = m_report.bytesSent;
    TransferRelay::OnSettled(request, result, tries);
    m_observer.OnChunk(chunk);
}

DownloadReport ChunkedDownload::Report() const {
    DownloadReport report = m_report;
    report.retries = m_transfer.Retries();
    report.reconnects = m_transfer.Reconnects();
    report.connectionLost = m_transfer.ConnectionGivenUp();
    report.stopped = m_transfer.Stopped() && m_transfer.Settled() < m_plan.Count();
    report.requestsSent = static_cast<int>(m_transfer.RequestsStarted());
    return report;
}

DownloadReport DownloadImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                             const TransferOptions& options, DownloadObserver& observer,
                             WireTrace* trace, const std::atomic<bool>* stop) {
    ChunkedDownload download(image, options, observer, link.Transactions());
    download.Driven().SetTrace(trace, "");
    RunTransfer(download.Driven(), link, options, stop);
    return download.Report();
}

}  // namespace kelvarin
