// Building Write File Record request frames.
#include "chunk_frame.h"

#include <cstring>

namespace kelvarin {

ChunkFrame::ChunkFrame() {
    std::memset(m_bytes, 0, sizeof m_bytes);
}

bool ChunkFrame::Set(modbus::FilePosition position, const std::uint8_t* data, std::size_t n) {
    const std::size_t size = modbus::EncodeWriteFileRecord(m_bytes, position, data, n);
    if (size == 0) {
        return false;
    }
    m_size = size;
    return true;
}

}  // namespace kelvarin
