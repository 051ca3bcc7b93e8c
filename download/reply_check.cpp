// Reply matching and the bounded wait for a whole reply.
#include "reply_check.h"

#include <cstring>

namespace kelvarin {

namespace {

std::uint32_t BE16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] << 8 | p[1]);
}

// The image position a Write File Record frame writes: page * 64 KiB + offset.
std::uint32_t PositionOf(const std::uint8_t* frame) {
    return BE16(frame + 10) * 65536u + BE16(frame + 12);
}

}  // namespace

ReplyMatcher::ReplyMatcher(const std::uint8_t* request, std::size_t size)
    : m_request(request), m_requestSize(size) {}

ReplyState ReplyMatcher::Feed(const std::uint8_t* data, std::size_t n) {
    while (n > 0 && m_state == ReplyState::kIncomplete) {
        std::size_t room = kCapacity - m_pendingSize;
        std::size_t take = n < room ? n : room;
        std::memcpy(m_pending + m_pendingSize, data, take);
        m_pendingSize += take;
        data += take;
        n -= take;
        m_state = Match();
    }
    return m_state;
}

ReplyState ReplyMatcher::Match() {
    for (;;) {
        if (m_pendingSize < 6) {
            return ReplyState::kIncomplete;
        }
        const std::size_t total = 6 + BE16(m_pending + 4);
        if (BE16(m_pending + 2) != 0 || total < 8 || total > kCapacity) {
            return ReplyState::kMismatch;  // no Modbus/TCP reply of ours looks like this
        }
        if (m_pendingSize < total) {
            return ReplyState::kIncomplete;
        }
        if (total == m_requestSize && std::memcmp(m_pending, m_request, total) == 0) {
            return ReplyState::kEcho;
        }
        if (!IsStaleEcho(m_pending, total)) {
            return ReplyState::kMismatch;
        }
        ++m_stale;
        std::memmove(m_pending, m_pending + total, m_pendingSize - total);
        m_pendingSize -= total;
    }
}

bool ReplyMatcher::IsStaleEcho(const std::uint8_t* frame, std::size_t size) const {
    // An echo of an earlier chunk: a well-formed Write File Record frame for a
    // position before this request's. Chunks go out in image order, so only
    // earlier ones can answer late; a reply for this position that differs is
    // a wrong reply, not a stale one.
    if (size < ChunkFrame::kHeaderSize || m_requestSize < ChunkFrame::kHeaderSize) {
        return false;
    }
    return frame[7] == ChunkFrame::kFunction && frame[9] == ChunkFrame::kReferenceType &&
           frame[8] + 9u == size && PositionOf(frame) < PositionOf(m_request);
}

ReplyOutcome AwaitReply(CDeviceLink& link, const ChunkFrame& request, int timeoutMs) {
    ReplyMatcher matcher(request.Bytes(), request.Size());
    CTickTimer timer;
    timer.Start();
    std::uint8_t buffer[ReplyMatcher::kCapacity];
    while (matcher.State() == ReplyState::kIncomplete) {
        int left = timeoutMs - static_cast<int>(timer.Elapsed());
        if (left <= 0) {
            break;
        }
        int got = link.ReceiveFor(buffer, sizeof buffer, left);
        if (got < 0) {
            return ReplyOutcome::kConnectionLost;
        }
        if (got == 0) {
            break;
        }
        matcher.Feed(buffer, static_cast<std::size_t>(got));
    }
    switch (matcher.State()) {
        case ReplyState::kEcho:
            return ReplyOutcome::kEcho;
        case ReplyState::kMismatch:
            return ReplyOutcome::kMismatch;
        case ReplyState::kIncomplete:
            break;
    }
    // Part of a reply is a wrong reply; nothing at all is no reply.
    return matcher.HasReplyBytes() ? ReplyOutcome::kMismatch : ReplyOutcome::kNoReply;
}

bool DiscardPending(CDeviceLink& link) {
    std::uint8_t buffer[ReplyMatcher::kCapacity];
    for (;;) {
        int got = link.ReceiveFor(buffer, sizeof buffer, 0);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            return false;
        }
    }
}

}  // namespace kelvarin
