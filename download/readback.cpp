// Read-back verify over Read File Record.
#include "readback.h"

#include <algorithm>

namespace kelvarin {

namespace {

using modbus::ReadPiece;

// Bytes one response carries with one sub-request, and with two.
constexpr std::size_t kOnePieceBytes = 2 * modbus::kMaxReadWords;
constexpr std::size_t kTwoPieceBytes =
    2 * ((modbus::kMaxRequestDataLength - 2 * modbus::kSubResponseHeader) / 2);

}  // namespace

ReadPlan::ReadPlan(std::span<const std::uint8_t> image, std::uint8_t unit)
    : m_image(image), m_unit(unit) {
    Split(0, image.size() + image.size() % 2);
}

ReadPlan::ReadPlan(std::span<const std::uint8_t> image, const std::vector<Range>& ranges,
                   std::uint8_t unit)
    : m_image(image), m_unit(unit) {
    // Ranges that touch are read as one.
    std::vector<Range> merged;
    for (const Range& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second) {
            merged.back().second = std::max(merged.back().second, range.second);
        } else {
            merged.push_back(range);
        }
    }
    for (const Range& range : merged) {
        Split(range.first & ~std::size_t{1}, range.second + range.second % 2);
    }
}

ReadPlan::ReadPlan(std::span<std::uint8_t> memory, std::size_t from, std::size_t to,
                   std::uint8_t unit)
    : m_store(memory), m_unit(unit) {
    Split(from, to);
}

void ReadPlan::Split(std::size_t from, std::size_t length) {
    std::size_t at = from;
    while (at < length) {
        const std::size_t start = at;
        const std::size_t pageEnd = (at / modbus::kPageSize + 1) * modbus::kPageSize;
        std::size_t take = std::min(length - at, kOnePieceBytes);
        if (at + take > pageEnd) {
            // One sub-request to the file's end when it carries as much;
            // otherwise one for each file, a little less in all.
            take = pageEnd - at >= kTwoPieceBytes ? pageEnd - at
                                                  : std::min(length - at, kTwoPieceBytes);
        }
        at += take;
        m_reads.emplace_back(static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(at));
    }
}

ReadPlan::Pieces ReadPlan::PiecesOf(std::size_t index) const {
    const auto [start, end] = m_reads[index];
    const std::size_t pageEnd = (start / modbus::kPageSize + 1) * modbus::kPageSize;
    Pieces pieces;
    if (end <= pageEnd) {
        pieces.piece[0] = {modbus::PositionOf(start), static_cast<std::uint16_t>((end - start) / 2)};
        pieces.count = 1;
    } else {
        pieces.piece[0] = {modbus::PositionOf(start),
                           static_cast<std::uint16_t>((pageEnd - start) / 2)};
        pieces.piece[1] = {modbus::PositionOf(pageEnd),
                           static_cast<std::uint16_t>((end - pageEnd) / 2)};
        pieces.count = 2;
    }
    return pieces;
}

std::size_t ReadPlan::Encode(std::size_t index, std::uint16_t transaction,
                             std::uint8_t* frame) const {
    const Pieces pieces = PiecesOf(index);
    return modbus::EncodeReadFileRecord(frame, {pieces.piece.data(), pieces.count}, transaction,
                                        m_unit);
}

Result ReadPlan::Judge(std::size_t index, std::span<const std::uint8_t> request,
                       std::span<const std::uint8_t> reply) {
    const Pieces pieces = PiecesOf(index);
    std::uint8_t read[kOnePieceBytes];
    const modbus::ReadReply decoded =
        modbus::DecodeReadReply(reply, {pieces.piece.data(), pieces.count},
                                modbus::TransactionOf(request.data()), read);
    switch (decoded.status) {
        case modbus::ReadReplyStatus::kData:
            break;
        case modbus::ReadReplyStatus::kException:
            return {decoded.exceptionCode == modbus::kExceptionBusy ? Outcome::kBusy
                                                                    : Outcome::kRefused,
                    decoded.exceptionCode};
        case modbus::ReadReplyStatus::kMalformed:
            return {Outcome::kWrong};
    }
    const std::size_t start = m_reads[index].first;
    if (!m_store.empty()) {
        const std::size_t end = std::min<std::size_t>(m_reads[index].second, m_store.size());
        std::copy(read, read + (end - start), m_store.begin() + static_cast<std::ptrdiff_t>(start));
        return {Outcome::kGood};
    }
    // Compared as it arrives; the requests may settle in any order, so the
    // first difference is the lowest found.
    const std::size_t end = std::min<std::size_t>(m_reads[index].second, m_image.size());
    for (std::size_t i = start; i < end; ++i) {
        if (read[i - start] != m_image[i]) {
            if (m_differing == 0 || i < m_firstDifference) {
                m_firstDifference = i;
            }
            ++m_differing;
        }
    }
    return {Outcome::kGood};
}

ImageReadBack::ImageReadBack(std::span<const std::uint8_t> image, const TransferOptions& options,
                             TransferEvents& watcher, TransactionIds& ids)
    : TransferRelay(watcher),
      m_image(image),
      m_length(image.size()),
      m_plan(image, options.unit),
      m_transfer(m_plan, options, &ids, true, *this) {}

ImageReadBack::ImageReadBack(std::span<const std::uint8_t> image,
                             const std::vector<ReadPlan::Range>& ranges,
                             const TransferOptions& options, TransferEvents& watcher,
                             TransactionIds& ids)
    : TransferRelay(watcher),
      m_image(image),
      m_length(0),
      m_plan(image, ranges, options.unit),
      m_transfer(m_plan, options, &ids, true, *this) {
    for (std::size_t i = 0; i < m_plan.Count(); ++i) {
        const RequestSpan span = m_plan.Span(i);
        m_length += std::min(span.offset + span.length, image.size()) - span.offset;
    }
}

void ImageReadBack::OnSettled(const RequestSpan& request, Result result, int tries) {
    TransferRelay::OnSettled(request, result, tries);
    if (result.Good() || m_failed) {
        return;
    }
    m_failed = true;
    m_failure.failedAt = request.offset;
    m_failure.failure = result.outcome;
    m_failure.exceptionCode = result.exception;
}

VerifyReport ImageReadBack::Report() const {
    VerifyReport report = m_failure;
    report.length = m_length;
    report.requests = m_transfer.Retries() + static_cast<int>(m_transfer.Settled());
    if (m_failed) {
        report.outcome = VerifyOutcome::kUnreadable;
        return report;
    }
    if (m_transfer.Settled() < m_plan.Count()) {
        // Stopped on request, or the connection given up before a read
        // settled: not compared, so nothing is claimed.
        report.outcome = VerifyOutcome::kUnreadable;
        report.failure = m_transfer.ConnectionGivenUp() ? Outcome::kConnectionLost
                                                        : Outcome::kGood;
        report.stopped = m_transfer.Stopped();
        return report;
    }
    report.differingBytes = m_plan.DifferingBytes();
    report.firstDifference = m_plan.FirstDifference();
    report.outcome = report.differingBytes == 0 ? VerifyOutcome::kEqual : VerifyOutcome::kDifferent;
    return report;
}

VerifyReport VerifyImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                         const TransferOptions& options, TransferEvents* watcher,
                         WireTrace* trace, const std::atomic<bool>* stop) {
    TransferEvents none;
    ImageReadBack readBack(image, options, watcher ? *watcher : none, link.Transactions());
    readBack.Driven().SetTrace(trace, "");
    RunTransfer(readBack.Driven(), link, options, stop);
    return readBack.Report();
}

}  // namespace kelvarin
