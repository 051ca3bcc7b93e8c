// The download of a web image: chunk by chunk, each reply checked. Reports
// what happened as data; it knows neither files nor texts.
#pragma once

#include "device_link.h"
#include "link_timeouts.h"
#include "transfer.h"
#include "transfer_driver.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvarin {

class WireTrace;

// What happened to one chunk.
struct ChunkOutcome {
    std::size_t sent = 0;        // image offset after this chunk (with one in flight, the
                                 // image bytes sent so far, this chunk included)
    std::size_t pageOffset = 0;  // offset in the 64 KiB page after this chunk
    unsigned fileNumber = 0;     // the Modbus file the chunk was written to
    // kGood: its exact echo came back; kWrong, kBusy, kRefused: a different
    // reply (an exception, a wrong or partial echo); kNoReply; kConnectionLost:
    // the download stops.
    Outcome result = Outcome::kGood;
    std::uint8_t exception = 0;  // the exception code, when the device answered with one
    std::size_t progress = 0;  // image bytes of the chunks settled so far, this one included
                               // unless the connection was lost on it
    int tries = 1;             // times the chunk was sent
};

// The chunk a write request covers, settled as result.
ChunkOutcome ChunkOutcomeOf(const RequestSpan& request, Result result);

// Told of every chunk as its reply is settled, beside the transfer's events.
class DownloadObserver : public TransferEvents {
  public:
    virtual void OnChunk(const ChunkOutcome& outcome) = 0;
};

// What one download did.
struct DownloadReport {
    std::size_t imageLength = 0;  // bytes to send (of the chunks chosen, when only some are)
    std::size_t bytesSent = 0;    // bytes of the chunks settled without losing the connection
    std::size_t echoedPrefix = 0;  // bytes from the image's start whose chunks were all echoed
    std::size_t bytesEchoed = 0;   // bytes of the chunks echoed: what the device took
    int chunks = 0;               // chunks settled
    int requestsSent = 0;         // chunks whose request went out at least once
    int failedChunks = 0;         // chunks without a correct echo
    int retries = 0;              // further tries sent
    int reconnects = 0;           // connections made again
    bool connectionLost = false;  // the link broke for good; the caller should close it
    bool imageRefused = false;    // the image has an odd length or exceeds the image memory
    bool stopped = false;         // a stop asked for ended it before every chunk was sent

    // True when every chunk came back as its echo.
    bool Succeeded() const {
        return failedChunks == 0 && !connectionLost && !imageRefused && !stopped;
    }
};

// The chunks of an image as write requests: chunkBytes image bytes each (the
// last of each 64 KiB file shorter where the file ends first, so a chunk
// never spans the two files), each a Write File Record request with one
// sub-request. Its replies must be exact echoes; without transaction ids an
// echo of an earlier chunk is recognised as a late reply.
class WritePlan : public RequestPlan {
  public:
    // image must outlive the plan; chunkBytes even, 2 to kLargestChunkBytes;
    // every request is for unit.
    WritePlan(std::span<const std::uint8_t> image, std::size_t chunkBytes, std::uint8_t unit = 0);
    // Only the chunks that start at starts (offsets on the same grid, in
    // increasing order): the chunks a write over what a device holds sends.
    WritePlan(std::span<const std::uint8_t> image, std::size_t chunkBytes, std::uint8_t unit,
              std::vector<std::size_t> starts);

    std::size_t Count() const override { return m_count; }
    RequestSpan Span(std::size_t index) const override {
        return {index, Start(index), Length(index), true};
    }
    std::size_t Encode(std::size_t index, std::uint16_t transaction,
                       std::uint8_t* frame) const override;
    Result Judge(std::size_t index, std::span<const std::uint8_t> request,
                 std::span<const std::uint8_t> reply) override;
    bool AnswersEarlier(std::span<const std::uint8_t> request,
                        std::span<const std::uint8_t> frame) const override;

    // The image bytes chunk index covers: its offset and length.
    std::size_t Start(std::size_t index) const;
    std::size_t Length(std::size_t index) const;

  private:
    std::span<const std::uint8_t> m_image;
    std::size_t m_chunk;
    std::uint8_t m_unit;
    std::size_t m_firstFileChunks;  // chunks in file 16
    std::size_t m_count;
    std::vector<std::size_t> m_starts;  // the chunks chosen; empty: every chunk
};

// The chunks a write of image over base must send, cut as WritePlan cuts
// them: the starts of those whose bytes differ from base's or lie past
// base's end (what the device holds there is not known), for WritePlan's
// and ChunkedDownload's chunk lists.
std::vector<std::size_t> DifferingChunks(std::span<const std::uint8_t> image,
                                         std::span<const std::uint8_t> base,
                                         std::size_t chunkBytes);

// True when image can be written to the image memory: an even length within
// its two 64 KiB files.
bool ImageFitsMemory(std::span<const std::uint8_t> image);

// A download driven by whoever owns the connection (the blocking
// DownloadImage below, the fleet's event loop): the transfer of the image's
// chunks and the report it makes.
class ChunkedDownload : private TransferRelay {
  public:
    // image must outlive the download; so must observer and ids (the
    // connection's transaction ids, used when options ask for ids). An image
    // that does not fit the memory is refused: done at once.
    ChunkedDownload(std::span<const std::uint8_t> image, const TransferOptions& options,
                    DownloadObserver& observer, TransactionIds& ids);
    // Only the chunks that start at starts (DifferingChunks' offsets).
    ChunkedDownload(std::span<const std::uint8_t> image, std::vector<std::size_t> starts,
                    const TransferOptions& options, DownloadObserver& observer,
                    TransactionIds& ids);
    ChunkedDownload(const ChunkedDownload&) = delete;
    ChunkedDownload& operator=(const ChunkedDownload&) = delete;

    // The transfer to drive.
    Transfer& Driven() { return m_transfer; }

    // What the download did so far.
    DownloadReport Report() const;

  private:
    void OnSettled(const RequestSpan& request, Result result, int tries) override;

    WritePlan m_plan;
    DownloadObserver& m_observer;
    Transfer m_transfer;
    DownloadReport m_report;
    std::vector<bool> m_echoed;
    std::size_t m_prefixChunks = 0;  // chunks from the first on, all echoed
};

// Sends image over link in Write File Record requests as options say (by
// default 128 bytes each, strictly in order, one in flight, no second try):
// each frame goes out within the send time-out, then its whole echo is
// awaited up to the reply time-out. A lost connection stops the download
// unless retries allow connecting again. An image that does not fit the
// memory is refused without sending. trace, when given, gets every frame.
// With ids, the requests take the link's transaction ids. A stop asked for
// (*stop true) ends it after the requests in flight.
DownloadReport DownloadImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                             const TransferOptions& options, DownloadObserver& observer,
                             WireTrace* trace = nullptr, const std::atomic<bool>* stop = nullptr);

}  // namespace kelvarin
