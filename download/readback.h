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

// Reads image.size() bytes back over link, one request in flight, each
// waiting up to timeouts.replyMs for its whole reply, and compares them with
// image. Stops at the first request that cannot be read.
VerifyReport VerifyImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                         const LinkTimeouts& timeouts);

}  // namespace kelvarin
