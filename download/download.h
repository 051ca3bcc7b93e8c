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
    int number = 0;              // 1-based, in image order
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

// Sends image over link in Write File Record requests of at most 128 bytes,
// strictly in order, one in flight: each frame goes out within
// timeouts.sendMs, then waits up to timeouts.replyMs for its whole echo. A
// lost connection stops the download. An image whose length is odd or above
// the two 64 KiB files of the image memory is refused without sending.
DownloadReport DownloadImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                             const LinkTimeouts& timeouts, DownloadObserver& observer);

}  // namespace kelvarin
