// Read-back verify over Read File Record.
#include "readback.h"

#include "byte_order.h"
#include "reply_check.h"

#include <algorithm>

namespace kelvarin {

namespace {

using modbus::ReadPiece;

// Bytes one response carries with one sub-request, and with two.
constexpr std::size_t kOnePieceBytes = 2 * modbus::kMaxReadWords;
constexpr std::size_t kTwoPieceBytes =
    2 * ((modbus::kMaxRequestDataLength - 2 * modbus::kSubResponseHeader) / 2);

}  // namespace

std::vector<std::vector<ReadPiece>> PlanImageRead(std::size_t length) {
    length += length % 2;
    std::vector<std::vector<ReadPiece>> requests;
    std::size_t at = 0;
    while (at < length) {
        const std::size_t pageEnd = (at / modbus::kPageSize + 1) * modbus::kPageSize;
        std::size_t take = std::min(length - at, kOnePieceBytes);
        std::vector<ReadPiece> pieces;
        if (at + take > pageEnd && pageEnd - at >= kTwoPieceBytes) {
            take = pageEnd - at;  // one sub-request to the file's end carries as much
        }
        if (at + take <= pageEnd) {
            pieces.push_back({modbus::PositionOf(at), static_cast<std::uint16_t>(take / 2)});
        } else {
            // Across two files: one sub-request each, a little less in all.
            take = std::min(length - at, kTwoPieceBytes);
            const std::size_t first = pageEnd - at;
            pieces.push_back({modbus::PositionOf(at), static_cast<std::uint16_t>(first / 2)});
            pieces.push_back(
                {modbus::PositionOf(pageEnd), static_cast<std::uint16_t>((take - first) / 2)});
        }
        requests.push_back(std::move(pieces));
        at += take;
    }
    return requests;
}

ImageReadBack::ImageReadBack(std::span<const std::uint8_t> image)
    : m_image(image), m_plan(PlanImageRead(image.size())), m_read(image.size() + image.size() % 2) {
    Prepare();
}

bool ImageReadBack::Done() const {
    return m_failed || m_next >= m_plan.size();
}

void ImageReadBack::Prepare() {
    m_pending.clear();
    if (Done()) {
        return;
    }
    ++m_requests;
    // Transaction ids tell this request's reply from a late one.
    m_frameSize = modbus::EncodeReadFileRecord(m_frame, m_plan[m_next],
                                               static_cast<std::uint16_t>(m_requests));
}

void ImageReadBack::Fail(ReadFailure failure, std::uint8_t exceptionCode) {
    m_failed = true;
    m_failure.failure = failure;
    m_failure.exceptionCode = exceptionCode;
    m_failure.failedAt = m_at;
}

bool ImageReadBack::Feed(const std::uint8_t* data, std::size_t n) {
    if (Done()) {
        return true;
    }
    m_pending.insert(m_pending.end(), data, data + n);
    const auto transaction = static_cast<std::uint16_t>(m_requests);
    for (;;) {
        const modbus::FrameScan scan = modbus::ScanFrame(m_pending);
        if (scan.status == modbus::FrameStatus::kNotModbus) {
            Fail(ReadFailure::kMalformed);
            return true;
        }
        if (scan.status == modbus::FrameStatus::kNeedMore) {
            return false;
        }
        const std::span<const std::uint8_t> frame(m_pending.data(), scan.size);
        if (LoadBE16(frame.data() + modbus::kTransactionAt) != transaction) {
            m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(scan.size));
            continue;  // a late reply to an earlier request
        }
        const std::vector<ReadPiece>& pieces = m_plan[m_next];
        const modbus::ReadReply reply =
            modbus::DecodeReadReply(frame, pieces, transaction, m_read.data() + m_at);
        switch (reply.status) {
            case modbus::ReadReplyStatus::kData:
                for (const ReadPiece& piece : pieces) {
                    m_at += 2 * std::size_t{piece.words};
                }
                ++m_next;
                Prepare();
                return true;
            case modbus::ReadReplyStatus::kException:
                Fail(ReadFailure::kException, reply.exceptionCode);
                return true;
            case modbus::ReadReplyStatus::kMalformed:
                Fail(ReadFailure::kMalformed);
                return true;
        }
    }
}

void ImageReadBack::TimedOut() {
    if (!Done()) {
        Fail(m_pending.empty() ? ReadFailure::kNoReply : ReadFailure::kMalformed);
    }
}

void ImageReadBack::ConnectionLost() {
    if (!Done()) {
        Fail(ReadFailure::kConnectionLost);
    }
}

VerifyReport ImageReadBack::Report() const {
    VerifyReport report = m_failure;
    report.length = m_image.size();
    report.requests = m_requests;
    if (m_failed) {
        report.outcome = VerifyOutcome::kUnreadable;
        return report;
    }
    for (std::size_t i = 0; i < m_image.size(); ++i) {
        if (m_read[i] != m_image[i]) {
            if (report.differingBytes == 0) {
                report.firstDifference = i;
            }
            ++report.differingBytes;
        }
    }
    report.outcome = report.differingBytes == 0 ? VerifyOutcome::kEqual : VerifyOutcome::kDifferent;
    return report;
}

VerifyReport VerifyImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                         const LinkTimeouts& timeouts) {
    ImageReadBack readBack(image);
    std::uint8_t buffer[modbus::kMbapPrefix + modbus::kMaxMbapLength];
    while (!readBack.Done()) {
        const std::span<const std::uint8_t> request = readBack.Request();
        const int size = static_cast<int>(request.size());
        if ((readBack.MayHaveLeftovers() && !DiscardPending(link)) ||
            link.SendFor(request.data(), size, timeouts.sendMs) != size) {
            readBack.ConnectionLost();
            break;
        }
        CTickTimer timer;
        timer.Start();
        for (bool settled = false; !settled;) {
            const int left = timeouts.replyMs - static_cast<int>(timer.Elapsed());
            const int got = left > 0 ? link.ReceiveFor(buffer, sizeof buffer, left) : 0;
            if (got < 0) {
                readBack.ConnectionLost();
                settled = true;
            } else if (got == 0) {
                readBack.TimedOut();
                settled = true;
            } else {
                settled = readBack.Feed(buffer, static_cast<std::size_t>(got));
            }
        }
    }
    return readBack.Report();
}

}  // namespace kelvarin
