// Reading an image back from the device with Read File Record (function 20)
// and comparing it, byte for byte, with the image that was sent.
#pragma once

#include "device_link.h"
#include "link_timeouts.h"
#include "modbus_frame.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvarin {

// What reading back found.
enum class VerifyOutcome {
    kEqual,       // the device holds the image
    kDifferent,   // it holds other bytes
    kUnreadable,  // it could not be read back (see ReadFailure)
};

// Why a device could not be read back.
enum class ReadFailure {
    kNone,
    kException,       // it answered with a Modbus exception (01: it has no function 20)
    kNoReply,         // nothing came within the reply time-out
    kConnectionLost,  // the connection closed or failed
    kMalformed,       // a reply that is not the answer to the request
};

// What one read-back did.
struct VerifyReport {
    VerifyOutcome outcome = VerifyOutcome::kUnreadable;
    std::size_t length = 0;           // image bytes compared
    int requests = 0;                 // Read File Record requests sent
    std::size_t firstDifference = 0;  // image offset of the first differing byte
    std::size_t differingBytes = 0;   // how many bytes differ
    ReadFailure failure = ReadFailure::kNone;
    std::uint8_t exceptionCode = 0;  // for kException
    std::size_t failedAt = 0;        // image offset the failed request read from
};

// The requests that read the first length bytes of the image memory (length
// rounded up to whole words) with as few requests as the protocol allows:
// 242 bytes each (121 words, the most one response carries), a request that
// crosses from file 16 into file 17 holding one sub-request for each.
std::vector<std::vector<modbus::ReadPiece>> PlanImageRead(std::size_t length);

// A read-back as a sequence of Read File Record requests, for whoever drives
// the connection (the blocking VerifyImage below, the fleet's event loop).
class ImageReadBack {
  public:
    // image must outlive the read-back.
    explicit ImageReadBack(std::span<const std::uint8_t> image);

    // True when nothing more is to be read: all read, or a read failed.
    bool Done() const;

    // The current request.
    std::span<const std::uint8_t> Request() const { return {m_frame, m_frameSize}; }

    // True before the first request: what a download left unread is to be
    // dropped first.
    bool MayHaveLeftovers() const { return m_requests == 1; }

    // Bytes received for the current request. Frames of other transactions
    // (late replies) are set aside. True once the request is settled: its
    // records read (and the next request ready), or the read failed.
    bool Feed(const std::uint8_t* data, std::size_t n);

    // The current request's wait ran out: no reply, or only part of one.
    void TimedOut();

    // The connection closed or failed during the current request.
    void ConnectionLost();

    // What the read-back found; the comparison once Done.
    VerifyReport Report() const;

  private:
    void Prepare();
    void Fail(ReadFailure failure, std::uint8_t exceptionCode = 0);

    std::span<const std::uint8_t> m_image;
    std::vector<std::vector<modbus::ReadPiece>> m_plan;
    std::size_t m_next = 0;  // index of the current request in m_plan
    std::size_t m_at = 0;    // image offset the current request reads
    int m_requests = 0;
    std::uint8_t m_frame[modbus::kSubRequestsAt + 2 * modbus::kReadSubRequestSize] = {};
    std::size_t m_frameSize = 0;
    std::vector<std::uint8_t> m_pending;
    std::vector<std::uint8_t> m_read;
    VerifyReport m_failure;  // outcome kUnreadable once a read failed
    bool m_failed = false;
};

// Reads image.size() bytes back over link, one request in flight, each
// waiting up to timeouts.replyMs for its whole reply, and compares them with
// image. Stops at the first request that cannot be read.
VerifyReport VerifyImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                         const LinkTimeouts& timeouts);

}  // namespace kelvarin
