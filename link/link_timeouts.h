// How long a link waits for each thing it does, and how a download or a
// read-back uses the link beyond that, in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// The waits of a link to a device, in milliseconds. The defaults are the
// device protocol's: 200 ms to connect, 200 ms for each reply, and 200 ms for
// a frame to leave when the socket's send buffer is full.
struct LinkTimeouts {
    int connectMs = 200;
    int replyMs = 200;
    int sendMs = 200;

    // The same wait for all three.
    static constexpr LinkTimeouts All(int ms) { return {ms, ms, ms}; }
};

// The longest time-out an operator may set, in milliseconds.
inline constexpr int kMaxTimeoutMs = 60000;
// The most further tries of one request.
inline constexpr int kMaxRetries = 10;
// The most requests in flight on one connection.
inline constexpr int kMaxWindow = 16;
// Image bytes per write request by default, and the most one Write File
// Record request with one sub-request carries.
inline constexpr std::size_t kDefaultChunkBytes = 128;
inline constexpr std::size_t kLargestChunkBytes = 244;

// How a download or a read-back uses its link. The defaults are the device
// protocol's: one request of 128 image bytes in flight, no second try; every
// other value is something the operator asks for.
struct TransferOptions {
    TransferOptions() = default;
    // The defaults with other time-outs.
    TransferOptions(const LinkTimeouts& waits) : timeouts(waits) {}  // NOLINT: a widening

    LinkTimeouts timeouts;
    // Further tries of a request whose reply was missing or wrong, and of a
    // connection that was lost (0 to kMaxRetries).
    int retries = 0;
    // Requests outstanding at once (1 to kMaxWindow). Above one, each request
    // has its own transaction id and the replies are matched by it.
    int window = 1;
    // Start at one request in flight and grow up to kMaxWindow while replies
    // come back clean (window is then ignored).
    bool autoWindow = false;
    // Image bytes per write request: even, 2 to kLargestChunkBytes.
    std::size_t chunkBytes = kDefaultChunkBytes;
    // The reply time-out of the first request, for a device that prepares
    // its memory when the first write arrives; nothing else is in flight
    // meanwhile. 0: the same as every reply's.
    int firstReplyMs = 0;
    // The unit identifier of every request (byte 6 of its frame): 0 by
    // default, as designed; a gateway passes requests on to the unit named.
    std::uint8_t unit = 0;

    // True when requests carry transaction ids of their own (several may be
    // in flight); the default's requests all carry 0.
    bool TransactionIds() const { return autoWindow || window > 1; }
};

}  // namespace kelvarin
