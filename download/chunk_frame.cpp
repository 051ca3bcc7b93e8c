// Building Write File Record request frames.
#include "chunk_frame.h"

#include <cstring>

namespace kelvarin {

namespace {

void StoreBE16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

}  // namespace

ChunkFrame::ChunkFrame() {
    std::memset(m_bytes, 0, sizeof m_bytes);
    m_bytes[7] = kFunction;
    m_bytes[9] = kReferenceType;
}

void ChunkFrame::Set(std::uint16_t fileNumber, std::uint16_t recordNumber, const std::uint8_t* data,
                     std::size_t n) {
    if (n > kMaxData) {
        n = kMaxData;
    }
    m_bytes[5] = static_cast<std::uint8_t>(n + 10);
    m_bytes[8] = static_cast<std::uint8_t>(n + 7);
    StoreBE16(m_bytes + 10, fileNumber);
    StoreBE16(m_bytes + 12, recordNumber);
    StoreBE16(m_bytes + 14, static_cast<std::uint16_t>(n / 2));
    std::memcpy(m_bytes + kHeaderSize, data, n);
    m_size = kHeaderSize + n;
}

std::uint16_t ChunkFrame::FileNumber() const {
    return static_cast<std::uint16_t>(m_bytes[10] << 8 | m_bytes[11]);
}

std::uint16_t ChunkFrame::RecordNumber() const {
    return static_cast<std::uint16_t>(m_bytes[12] << 8 | m_bytes[13]);
}

}  // namespace kelvarin
