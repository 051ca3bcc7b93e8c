// Fuzzes the download's reply check: a request built from the first bytes,
// the rest fed as received bytes in pieces. Only an exact echo may pass.
#include "chunk_frame.h"
#include "reply_check.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    // Byte 0: chunk length; 1-2: position; 3: piece size of the arrivals.
    const std::size_t n = (data[0] % 64 + 1) * 2;
    const std::uint16_t record = static_cast<std::uint16_t>(data[1] << 8 | data[2]);
    const std::size_t piece = data[3] % 32 + 1;
    data += 4;
    size -= 4;
    std::uint8_t chunk[kelvarin::modbus::kChunkBytes] = {};
    kelvarin::ChunkFrame frame;
    frame.Set({static_cast<std::uint16_t>(16 + (record & 1)), record}, chunk, n);

    kelvarin::ReplyMatcher matcher(frame.Bytes(), frame.Size());
    std::size_t fed = 0;
    while (fed < size && matcher.State() == kelvarin::ReplyState::kIncomplete) {
        std::size_t take = size - fed < piece ? size - fed : piece;
        matcher.Feed(data + fed, take);
        fed += take;
    }
    if (matcher.State() == kelvarin::ReplyState::kEcho) {
        // The echo must be somewhere in what was fed, whole.
        bool found = false;
        for (std::size_t at = 0; at + frame.Size() <= fed && !found; ++at) {
            found = std::memcmp(data + at, frame.Bytes(), frame.Size()) == 0;
        }
        if (!found) {
            std::abort();
        }
    }
    return 0;
}
