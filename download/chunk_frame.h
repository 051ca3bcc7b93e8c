// ChunkFrame: one Modbus/TCP Write File Record request carrying image bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// The request frame for one chunk of at most 128 image bytes:
//   0-1 transaction id 0 | 2-3 protocol 0 | 4-5 length n+10 | 6 unit 0 |
//   7 function 21 | 8 data length n+7 | 9 reference type 6 |
//   10-11 file number | 12-13 record number (byte offset in the 64 KiB page) |
//   14-15 record length n/2 (words) | 16.. the n image bytes
// All fields big-endian.
class ChunkFrame {
  public:
    static constexpr std::size_t kCapacity = 300;
    static constexpr std::size_t kHeaderSize = 16;
    static constexpr std::size_t kMaxData = 128;
    static constexpr std::uint8_t kFunction = 21;
    static constexpr std::uint8_t kReferenceType = 6;
    static constexpr std::uint16_t kFirstFile = 16;
    static constexpr std::size_t kPageSize = 65536;

    // A zeroed frame with the function code and reference type set.
    ChunkFrame();

    // Fills the frame for n image bytes (n even, at most 128; more are cut to
    // 128) written to fileNumber at byte offset recordNumber.
    void Set(std::uint16_t fileNumber, std::uint16_t recordNumber, const std::uint8_t* data,
             std::size_t n);

    // The bytes to send and their count (16 + n).
    const std::uint8_t* Bytes() const { return m_bytes; }
    std::size_t Size() const { return m_size; }

    // The file and record number this frame writes.
    std::uint16_t FileNumber() const;
    std::uint16_t RecordNumber() const;

  private:
    std::uint8_t m_bytes[kCapacity];
    std::size_t m_size = kHeaderSize;
};

}  // namespace kelvarin
