// Checking a device's reply against the request it answers.
//
// A reply is read whole: a Modbus/TCP frame is complete when its MBAP length
// field says so (6 + length bytes). It passes only when it is an exact echo of
// the request. A complete echo of an earlier chunk (a reply that came late,
// after its own wait had ended) is recognised and set aside, so one late reply
// cannot make the following chunks fail.
#pragma once

#include "chunk_frame.h"
#include "device_link.h"

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// Where the matching of one reply stands.
enum class ReplyState {
    kIncomplete,  // more bytes are needed
    kEcho,        // a complete, exact echo of the request arrived
    kMismatch,    // a complete reply that differs, or bytes that are no reply
};

// Matches received bytes against one request, frame by frame.
class ReplyMatcher {
  public:
    // Room for one reply; no valid reply to our requests is longer.
    static constexpr std::size_t kCapacity = ChunkFrame::kCapacity;

    // request must outlive the matcher.
    ReplyMatcher(const std::uint8_t* request, std::size_t size);

    // Consumes received bytes and returns the state. Once the state is final
    // (echo or mismatch), further bytes are ignored.
    ReplyState Feed(const std::uint8_t* data, std::size_t n);

    ReplyState State() const { return m_state; }

    // True when bytes of a reply to this request have arrived (stale echoes
    // of earlier chunks excluded).
    bool HasReplyBytes() const { return m_pendingSize > 0 || m_state != ReplyState::kIncomplete; }

    // How many stale echoes of earlier chunks were set aside.
    int StaleReplies() const { return m_stale; }

  private:
    ReplyState Match();
    bool IsStaleEcho(const std::uint8_t* frame, std::size_t size) const;

    const std::uint8_t* m_request;
    std::size_t m_requestSize;
    std::uint8_t m_pending[kCapacity];
    std::size_t m_pendingSize = 0;
    ReplyState m_state = ReplyState::kIncomplete;
    int m_stale = 0;
};

// How one chunk's reply turned out.
enum class ChunkResult {
    kEcho,            // its exact echo came back
    kMismatch,        // a different reply (an exception, a wrong or partial echo)
    kNoReply,         // nothing within the reply time-out
    kConnectionLost,  // the connection closed or failed: the download stops
};

// The result of a chunk whose wait ended with matcher in its state: an
// echo, a mismatch, or, when the wait ran out, a mismatch if part of a reply
// had come and no reply if nothing had.
ChunkResult ResultOf(const ReplyMatcher& matcher);

// Waits up to timeoutMs in all for the whole reply matcher waits for on link.
ChunkResult AwaitReply(CDeviceLink& link, ReplyMatcher& matcher, int timeoutMs);

// Reads and drops whatever has already arrived on link (a late reply).
// Returns false when the connection turned out to be closed or failed.
bool DiscardPending(CDeviceLink& link);

}  // namespace kelvarin
