// Fuzzes the transfer's reply check: a download of a small image (one to a
// few chunks, one or four requests in flight, some retries), its replies the
// fuzz input fed in pieces, with time passing when the input runs out. A
// chunk may pass only when the exact frame of one of its requests arrived
// after that request went out, and the transfer must end: no input can keep
// it going.
#include "download.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using kelvarin::Outcome;

// Chunks settled as echoed.
class Echoed : public kelvarin::TransferEvents {
  public:
    void OnSettled(const kelvarin::RequestSpan& request, kelvarin::Result result,
                   int) override {
        if (result.Good()) {
            good.push_back(request.index);
        }
    }
    std::vector<std::size_t> good;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    // Byte 0: image length; 1: chunk size; 2: window and retries; 3: piece size.
    const std::size_t length = (data[0] % 200 + 1) * 2;
    kelvarin::TransferOptions options;
    options.chunkBytes = (data[1] % 122 + 1) * 2;
    options.window = (data[2] & 1) ? 4 : 1;
    options.retries = (data[2] >> 1) % 3;
    const std::size_t piece = data[3] % 32 + 1;
    data += 4;
    size -= 4;

    std::vector<std::uint8_t> image(length);
    for (std::size_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    kelvarin::WritePlan plan(image, options.chunkBytes);
    Echoed events;
    kelvarin::TransactionIds ids;
    kelvarin::Transfer transfer(plan, options, options.TransactionIds() ? &ids : nullptr, false,
                                events);

    // What went out, by chunk, with the offset of the received bytes at that
    // moment; and everything received.
    struct Sent {
        std::size_t index;
        std::vector<std::uint8_t> frame;
        std::size_t receivedBefore;
    };
    std::vector<Sent> sent;
    std::vector<std::uint8_t> received;
    std::size_t fed = 0;
    auto now = kelvarin::TimePoint() + std::chrono::hours(1);
    for (int step = 0;; ++step) {
        if (step > 100000) {
            std::abort();  // the transfer does not end
        }
        const kelvarin::Transfer::Step next = transfer.Next(now);
        if (next == kelvarin::Transfer::Step::kDone) {
            break;
        }
        switch (next) {
            case kelvarin::Transfer::Step::kSend: {
                const auto frame = transfer.Request();
                // The chunk a frame writes: the one whose request it is.
                const std::size_t record = std::size_t{frame[12]} << 8 | frame[13];
                const std::size_t offset = (frame[11] - 16) * std::size_t{65536} + record;
                std::size_t index = 0;
                while (index + 1 < plan.Count() && plan.Start(index + 1) <= offset) {
                    ++index;
                }
                sent.push_back({index, {frame.begin(), frame.end()}, received.size()});
                transfer.Sent(now);
                break;
            }
            case kelvarin::Transfer::Step::kDrain:
            case kelvarin::Transfer::Step::kWait:
                if (fed < size) {
                    const std::size_t take = std::min(piece, size - fed);
                    received.insert(received.end(), data + fed, data + fed + take);
                    transfer.Received({data + fed, take}, now);
                    fed += take;
                    now += std::chrono::milliseconds(1);
                } else if (next == kelvarin::Transfer::Step::kDrain) {
                    transfer.DrainDone(now);
                } else {
                    now += std::chrono::milliseconds(250);
                }
                break;
            case kelvarin::Transfer::Step::kPause:
                now = std::max(now, transfer.WakeAt());
                break;
            case kelvarin::Transfer::Step::kReconnect:
                transfer.Reconnected(true, now);
                break;
            case kelvarin::Transfer::Step::kDone:
                break;
        }
    }
    // Every chunk that passed: one of its frames arrived, whole, after it went out.
    for (const std::size_t index : events.good) {
        bool found = false;
        for (const Sent& out : sent) {
            if (out.index != index || found) {
                continue;
            }
            const auto from = received.begin() + static_cast<long>(out.receivedBefore);
            found = std::search(from, received.end(), out.frame.begin(), out.frame.end()) !=
                    received.end();
        }
        if (!found) {
            std::abort();
        }
    }
    return 0;
}
