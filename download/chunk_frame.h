// ChunkFrame: one Modbus/TCP Write File Record request carrying image bytes.
#pragma once

#include "modbus_frame.h"

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// The request frame for one chunk of at most 128 image bytes, laid out as
// modbus_frame.h describes: transaction, protocol and unit ids 0, function
// 21, one sub-request of reference type 6 for the chunk's file and record
// number, record length n/2 words, then the n image bytes.
class ChunkFrame {
  public:
    // Room for the largest frame; only the first Size() bytes are sent.
    static constexpr std::size_t kCapacity = 300;
    static_assert(kCapacity >= modbus::kRecordDataAt + modbus::kChunkBytes);

    // A zeroed frame.
    ChunkFrame();

    // Fills the frame for the n image bytes at data (n even, at most 128),
    // written to the file and record number of position. Returns false,
    // leaving the frame as it was, for an odd or too large n.
    bool Set(modbus::FilePosition position, const std::uint8_t* data, std::size_t n);

    // The bytes to send and their count (16 + n).
    const std::uint8_t* Bytes() const { return m_bytes; }
    std::size_t Size() const { return m_size; }

  private:
    std::uint8_t m_bytes[kCapacity];
    std::size_t m_size = modbus::kRecordDataAt;
};

}  // namespace kelvarin
