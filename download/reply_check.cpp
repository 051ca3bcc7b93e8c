// Reply matching and the bounded wait for a whole reply.
#include "reply_check.h"

#include <cstring>

namespace kelvarin {

namespace {

// The image offset a Write File Record frame writes.
std::size_t ImageOffsetOf(const std::uint8_t* frame) {
    const modbus::FilePosition position = modbus::RequestPosition(frame);
    return modbus::OffsetOf(position.file, position.record);
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
        const modbus::FrameScan scan =
            modbus::ScanFrame(std::span<const std::uint8_t>(m_pending, m_pendingSize));
        if (scan.status == modbus::FrameStatus::kNeedMore) {
            return ReplyState::kIncomplete;
        }
        if (scan.status == modbus::FrameStatus::kNotModbus || scan.size > kCapacity) {
            return ReplyState::kMismatch;  // no Modbus/TCP reply of ours looks like this
        }
        const std::size_t total = scan.size;
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
    if (m_requestSize < modbus::kRecordDataAt || !modbus::IsWriteFileRecord(frame, size)) {
        return false;
    }
    return ImageOffsetOf(frame) < ImageOffsetOf(m_request);
}

ChunkResult ResultOf(const ReplyMatcher& matcher) {
    switch (matcher.State()) {
        case ReplyState::kEcho:
            return ChunkResult::kEcho;
        case ReplyState::kMismatch:
            return ChunkResult::kMismatch;
        case ReplyState::kIncomplete:
            break;
    }
    // Part of a reply is a wrong reply; nothing at all is no reply.
    return matcher.HasReplyBytes() ? ChunkResult::kMismatch : ChunkResult::kNoReply;
}

ChunkResult AwaitReply(CDeviceLink& link, ReplyMatcher& matcher, int timeoutMs) {
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
            return ChunkResult::kConnectionLost;
        }
        if (got == 0) {
            break;
        }
        matcher.Feed(buffer, static_cast<std::size_t>(got));
    }
    return ResultOf(matcher);
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
