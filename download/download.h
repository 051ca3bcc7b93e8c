// The download of a web image: chunk by chunk, each reply checked. Reports
// what happened as data; it knows neither files nor texts.
#pragma once

#include "device_link.h"
#include "link_timeouts.h"
#include "reply_check.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvarin {

// What happened to one chunk.
struct ChunkOutcome {
    std::size_t sent = 0;        // image bytes sent so far, this chunk included
    std::size_t pageOffset = 0;  // offset in the 64 KiB page after this chunk
    unsigned fileNumber = 0;     // the Modbus file the chunk was written to
    ChunkResult result = ChunkResult::kEcho;
};

// Told of every chunk as its reply is settled.
class DownloadObserver {
  public:
    virtual ~DownloadObserver() = default;
    virtual void OnChunk(const ChunkOutcome& outcome) = 0;
};

// What one download did.
struct DownloadReport {
    std::size_t imageLength = 0;  // bytes to send
    std::size_t bytesSent = 0;    // bytes whose request went out
    int chunks = 0;               // requests sent
    int failedChunks = 0;         // chunks without a correct echo
    bool connectionLost = false;  // the link broke; the caller should close it
    bool imageRefused = false;    // the image has an odd length or exceeds the image memory

    // True when every chunk came back as its echo.
    bool Succeeded() const { return failedChunks == 0 && !connectionLost && !imageRefused; }
};

// A download as a sequence of chunks, for whoever drives the connection (the
// blocking DownloadImage below, the fleet's event loop): the request of the
// current chunk, the bytes that come back for it, and its outcome.
class ChunkedDownload {
  public:
    // image must outlive the download. An image whose length is odd or above
    // the two 64 KiB files of the image memory is refused: Done at once.
    explicit ChunkedDownload(std::span<const std::uint8_t> image);
    ChunkedDownload(const ChunkedDownload&) = delete;  // the matcher points into the frame
    ChunkedDownload& operator=(const ChunkedDownload&) = delete;

    // True when nothing more is to be sent: every chunk settled, the
    // connection lost, or the image refused.
    bool Done() const;

    // The current chunk's request.
    const ChunkFrame& Request() const { return m_frame; }

    // True when a reply to an earlier chunk may still be on its way: what has
    // arrived of it is to be dropped before the request is sent.
    bool MayHaveLeftovers() const { return m_mayHaveLeftovers; }

    // Bytes received for the current request, and where its reply stands.
    ReplyState Feed(const std::uint8_t* data, std::size_t n) { return m_matcher.Feed(data, n); }
    ReplyState State() const { return m_matcher.State(); }
    ReplyMatcher& Matcher() { return m_matcher; }

    // Ends the current chunk with result and moves on. Returns its outcome.
    ChunkOutcome Settle(ChunkResult result);

    // Ends the current chunk when its wait ran out (or its reply is final).
    ChunkOutcome SettleWaitOver() { return Settle(ResultOf(m_matcher)); }

    // What the download did so far.
    const DownloadReport& Report() const { return m_report; }

  private:
    void Prepare();

    std::span<const std::uint8_t> m_image;
    std::size_t m_sent = 0;  // image bytes of the chunks before the current one
    ChunkFrame m_frame;
    ReplyMatcher m_matcher;
    bool m_mayHaveLeftovers = false;
    DownloadReport m_report;
};

// Sends image over link in Write File Record requests of at most 128 bytes,
// strictly in order, one in flight: each frame goes out within
// timeouts.sendMs, then waits up to timeouts.replyMs for its whole echo. A
// lost connection stops the download. An image whose length is odd or above
// the two 64 KiB files of the image memory is refused without sending.
DownloadReport DownloadImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                             const LinkTimeouts& timeouts, DownloadObserver& observer);

}  // namespace kelvarin
