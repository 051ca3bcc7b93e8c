// Reading an image back from the device with Read File Record (function 20)
// and comparing it, byte for byte, with the image that was sent.
#pragma once

#include "device_link.h"
#include "download.h"
#include "link_timeouts.h"
#include "modbus_frame.h"
#include "transfer.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvarin {

class WireTrace;

// What reading back found.
enum class VerifyOutcome {
    kEqual,       // the device holds the image
    kDifferent,   // it holds other bytes
    kUnreadable,  // it could not be read back (see the failure)
};

// What one read-back did.
struct VerifyReport {
    VerifyOutcome outcome = VerifyOutcome::kUnreadable;
    std::size_t length = 0;           // image bytes compared
    int requests = 0;                 // Read File Record requests sent
    std::size_t firstDifference = 0;  // image offset of the first differing byte
    std::size_t differingBytes = 0;   // how many bytes differ
    // Why it could not be read back: kGood when it could (or was stopped
    // first); kBusy or kRefused when the device answered with an exception
    // (01: it has no function 20), whose code exceptionCode holds; kNoReply;
    // kConnectionLost; kWrong for a reply that is not the answer.
    Outcome failure = Outcome::kGood;
    std::uint8_t exceptionCode = 0;
    std::size_t failedAt = 0;        // image offset the failed request read from
    bool stopped = false;            // a stop asked for ended it before all was read
};

// The Read File Record requests that read an image back with as few requests
// as the protocol allows: 242 bytes each (121 words, the most one response
// carries), a request that crosses from file 16 into file 17 holding one
// sub-request for each. Each reply is compared with the image as it arrives;
// nothing of it is kept.
class ReadPlan : public RequestPlan {
  public:
    // Sub-requests of one request: one, or two across the files' border.
    struct Pieces {
        std::array<modbus::ReadPiece, 2> piece{};
        std::size_t count = 0;
    };

    // image must outlive the plan. Its length is read rounded up to whole
    // words; the byte past an odd length is not compared. Every request is
    // for unit.
    explicit ReadPlan(std::span<const std::uint8_t> image, std::uint8_t unit = 0);

    // Memory offsets [first, second).
    using Range = std::pair<std::size_t, std::size_t>;

    // Reads only ranges of image back (their ends rounded out to whole
    // words; ranges that touch read as one) and compares them with image.
    ReadPlan(std::span<const std::uint8_t> image, const std::vector<Range>& ranges,
             std::uint8_t unit = 0);

    // Reads memory offsets from..to (even, to at most the image memory's
    // end) and stores what comes into memory (which must outlive the plan
    // and hold to bytes) at the same offsets, comparing nothing.
    ReadPlan(std::span<std::uint8_t> memory, std::size_t from, std::size_t to,
             std::uint8_t unit = 0);

    std::size_t Count() const override { return m_reads.size(); }
    RequestSpan Span(std::size_t index) const override {
        return {index, m_reads[index].first, m_reads[index].second - m_reads[index].first, false};
    }
    std::size_t Encode(std::size_t index, std::uint16_t transaction,
                       std::uint8_t* frame) const override;
    Result Judge(std::size_t index, std::span<const std::uint8_t> request,
                 std::span<const std::uint8_t> reply) override;

    // The image offset request index reads from, and its sub-requests.
    std::size_t Start(std::size_t index) const { return m_reads[index].first; }
    Pieces PiecesOf(std::size_t index) const;

    // The comparison of what was read so far: how many bytes differ and the
    // lowest offset of one that does.
    std::size_t DifferingBytes() const { return m_differing; }
    std::size_t FirstDifference() const { return m_firstDifference; }

  private:
    void Split(std::size_t from, std::size_t to);

    std::span<const std::uint8_t> m_image;  // compared with what is read
    std::span<std::uint8_t> m_store;        // or: what is read is kept here
    std::uint8_t m_unit;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_reads;  // each request's [start, end)
    std::size_t m_differing = 0;
    std::size_t m_firstDifference = 0;
};

// A read-back driven by whoever owns the connection (the blocking
// VerifyImage below, the fleet's event loop).
class ImageReadBack : private TransferRelay {
  public:
    // image, watcher and ids must outlive the read-back; watcher is told
    // every event of its transfer. Requests carry
    // transaction ids taken from ids, the connection's, so they go on from
    // the transfers before on the same connection and no late reply of those
    // can pass for the read-back's.
    ImageReadBack(std::span<const std::uint8_t> image, const TransferOptions& options,
                  TransferEvents& watcher, TransactionIds& ids);
    // Reads back only ranges of image (the chunks a write sent).
    ImageReadBack(std::span<const std::uint8_t> image, const std::vector<ReadPlan::Range>& ranges,
                  const TransferOptions& options, TransferEvents& watcher, TransactionIds& ids);
    ImageReadBack(const ImageReadBack&) = delete;
    ImageReadBack& operator=(const ImageReadBack&) = delete;

    // The transfer to drive.
    Transfer& Driven() { return m_transfer; }

    // What the read-back found; the comparison once the transfer is done.
    VerifyReport Report() const;

  private:
    void OnSettled(const RequestSpan& request, Result result, int tries) override;

    std::span<const std::uint8_t> m_image;
    std::size_t m_length;  // the bytes compared
    ReadPlan m_plan;
    Transfer m_transfer;
    VerifyReport m_failure;
    bool m_failed = false;
};

// Reads image.size() bytes back over link, as options say (by default one
// request in flight, no second try), each request waiting up to the reply
// time-out for its whole reply, and compares them with image. Stops at the
// first request that cannot be read. The requests take the link's
// transaction ids.
VerifyReport VerifyImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                         const TransferOptions& options, TransferEvents* watcher = nullptr,
                         WireTrace* trace = nullptr, const std::atomic<bool>* stop = nullptr);

}  // namespace kelvarin
