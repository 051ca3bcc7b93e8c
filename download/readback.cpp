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

// The outcome of waiting for the reply to one read request.
struct ReadWait {
    ReadFailure failure = ReadFailure::kNone;
    std::uint8_t exceptionCode = 0;
};

// Waits up to timeoutMs for the whole reply whose transaction id is
// transaction, setting aside whole frames of other transactions (late
// replies to earlier requests), and decodes it into out.
ReadWait AwaitReadReply(CDeviceLink& link, std::span<const ReadPiece> pieces,
                        std::uint16_t transaction, int timeoutMs, std::uint8_t* out) {
    std::vector<std::uint8_t> pending;
    std::uint8_t buffer[modbus::kMbapPrefix + modbus::kMaxMbapLength];
    CTickTimer timer;
    timer.Start();
    for (;;) {
        // Whole frames first: they may already be in.
        for (;;) {
            const modbus::FrameScan scan = modbus::ScanFrame(pending);
            if (scan.status == modbus::FrameStatus::kNotModbus) {
                return {ReadFailure::kMalformed, 0};
            }
            if (scan.status == modbus::FrameStatus::kNeedMore) {
                break;
            }
            const std::span<const std::uint8_t> frame(pending.data(), scan.size);
            if (LoadBE16(frame.data() + modbus::kTransactionAt) == transaction) {
                const modbus::ReadReply reply =
                    modbus::DecodeReadReply(frame, pieces, transaction, out);
                switch (reply.status) {
                    case modbus::ReadReplyStatus::kData:
                        return {};
                    case modbus::ReadReplyStatus::kException:
                        return {ReadFailure::kException, reply.exceptionCode};
                    case modbus::ReadReplyStatus::kMalformed:
                        return {ReadFailure::kMalformed, 0};
                }
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(scan.size));
        }
        const int left = timeoutMs - static_cast<int>(timer.Elapsed());
        if (left <= 0) {
            return {pending.empty() ? ReadFailure::kNoReply : ReadFailure::kMalformed, 0};
        }
        const int got = link.ReceiveFor(buffer, sizeof buffer, left);
        if (got < 0) {
            return {ReadFailure::kConnectionLost, 0};
        }
        if (got == 0) {
            return {pending.empty() ? ReadFailure::kNoReply : ReadFailure::kMalformed, 0};
        }
        pending.insert(pending.end(), buffer, buffer + got);
    }
}

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

VerifyReport VerifyImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                         const LinkTimeouts& timeouts) {
    VerifyReport report;
    report.length = image.size();
    std::uint8_t frame[modbus::kSubRequestsAt + 2 * modbus::kReadSubRequestSize];
    std::vector<std::uint8_t> read(image.size() + image.size() % 2);
    std::size_t at = 0;
    bool first = true;  // what a download left unread is dropped before the first read
    for (const std::vector<ReadPiece>& pieces : PlanImageRead(image.size())) {
        std::size_t bytes = 0;
        for (const ReadPiece& piece : pieces) {
            bytes += 2 * std::size_t{piece.words};
        }
        ++report.requests;
        // Transaction ids tell this request's reply from a late one.
        const auto transaction = static_cast<std::uint16_t>(report.requests);
        const int size = static_cast<int>(modbus::EncodeReadFileRecord(frame, pieces, transaction));
        ReadWait wait;
        if ((first && !DiscardPending(link)) || link.SendFor(frame, size, timeouts.sendMs) != size) {
            wait.failure = ReadFailure::kConnectionLost;
        } else {
            wait = AwaitReadReply(link, pieces, transaction, timeouts.replyMs, read.data() + at);
        }
        first = false;
        if (wait.failure != ReadFailure::kNone) {
            report.outcome = VerifyOutcome::kUnreadable;
            report.failure = wait.failure;
            report.exceptionCode = wait.exceptionCode;
            report.failedAt = at;
            return report;
        }
        at += bytes;
    }
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (read[i] != image[i]) {
            if (report.differingBytes == 0) {
                report.firstDifference = i;
            }
            ++report.differingBytes;
        }
    }
    report.outcome = report.differingBytes == 0 ? VerifyOutcome::kEqual : VerifyOutcome::kDifferent;
    return report;
}

}  // namespace kelvarin
