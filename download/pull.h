// Reading out the image a device holds: Read File Record requests for the
// bytes its record chain needs, round by round, and exactly the image's bytes
// in the end.
#pragma once

#include "device_link.h"
#include "download.h"
#include "image_reader.h"
#include "readback.h"
#include "transfer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvarin {

class WireTrace;

// What reading a device's image out found.
enum class PullOutcome {
    kImage,       // a sound image: image holds its bytes
    kNoImage,     // the memory holds no sound image (a new device is all 0xFF)
    kUnreadable,  // the device could not be read (failure says why)
    kStopped,     // stopped on request before the image was whole
};

// What one pull did.
struct PullReport {
    PullOutcome outcome = PullOutcome::kUnreadable;
    std::vector<std::uint8_t> image;  // kImage: the image's bytes, as the packer wrote them
    ImageError error;                 // kNoImage: what is wrong and at which offset
    // kNoImage, when asked to keep damaged memory and the memory is not
    // blank (its first bytes not all 0xFF): the whole memory, as read.
    std::vector<std::uint8_t> memory;
    bool blank = false;  // kNoImage: the bytes read are all 0xFF (a new device)
    std::size_t bytesRead = 0;        // memory bytes read, from offset 0 on
    int requests = 0;                 // Read File Record requests sent
    int rounds = 0;                   // transfers, each for the bytes the chain needed next
    // kUnreadable: how the read failed (an Outcome other than kGood), the
    // exception code where the device answered one, and the offset read.
    Outcome failure = Outcome::kGood;
    std::uint8_t exceptionCode = 0;
    std::size_t failedAt = 0;
    int retries = 0;
    int reconnects = 0;
};

// A pull driven by whoever owns the connection (the blocking PullImage
// below, the fleet's event loop): each round is a transfer of its own on the
// connection's transaction ids, reading from where the last one stopped to
// where the chain's records say the next bytes are, stopping at the chain's
// end (or at a record that names bytes outside the memory).
class ImagePull : private TransferRelay {
  public:
    // watcher and ids must outlive the pull (watcher is told every event of
    // its transfers); trace, when given, gets every frame, each line marked
    // with label.
    ImagePull(const TransferOptions& options, TransferEvents& watcher, TransactionIds& ids,
              WireTrace* trace = nullptr, std::string label = {});
    ImagePull(const ImagePull&) = delete;
    ImagePull& operator=(const ImagePull&) = delete;

    // When the memory holds no sound image but is not blank, read all of it
    // (PullReport::memory), so that what another writer left can be kept; a
    // memory that cannot be read whole is then unreadable.
    void KeepDamagedMemory() { m_keepDamaged = true; }

    // The transfer of the next round, once the one before is done (or to
    // start); nullptr when the pull is over (Report says how it ended).
    Transfer* NextRound();

    // What the pull found so far.
    PullReport Report() const;

  private:
    void OnSettled(const RequestSpan& request, Result result, int tries) override;
    bool EndRound();

    TransferOptions m_options;
    TransactionIds& m_ids;
    WireTrace* m_trace;
    std::string m_label;
    std::vector<std::uint8_t> m_memory;  // what has been read, from offset 0
    std::size_t m_have = 0;              // bytes read so far
    std::unique_ptr<ReadPlan> m_plan;    // the round under way
    std::unique_ptr<Transfer> m_transfer;
    std::size_t m_roundEnd = 0;
    bool m_done = false;
    bool m_keepDamaged = false;
    bool m_readingMemory = false;  // the round under way reads the rest of a damaged memory
    PullReport m_report;
};

// Reads the image the device on link holds, as options say (requests in
// flight, retries, time-outs, unit), each round waiting on the link. A stop
// asked for (*stop true) ends it after the requests in flight.
// With keepDamaged, a memory that holds no sound image but is not blank is
// read whole (ImagePull::KeepDamagedMemory).
PullReport PullImage(CDeviceLink& link, const TransferOptions& options,
                     TransferEvents* watcher = nullptr, WireTrace* trace = nullptr,
                     const std::atomic<bool>* stop = nullptr, bool keepDamaged = false);

}  // namespace kelvarin
