// The image memory.
#include "device_memory.h"

#include "web_image.h"

namespace kelvarin::device {

DeviceMemory::DeviceMemory() : m_bytes(kImageCapacity, static_cast<char>(kFillByte)) {}

bool DeviceMemory::Write(std::size_t offset, std::string_view data) {
    if (offset > m_bytes.size() || data.size() > m_bytes.size() - offset) {
        return false;
    }
    m_bytes.replace(offset, data.size(), data);
    return true;
}

void DeviceMemory::CorruptByte(std::size_t offset) {
    if (offset < m_bytes.size()) {
        m_bytes[offset] = static_cast<char>(m_bytes[offset] ^ 0xFF);
    }
}

}  // namespace kelvarin::device
