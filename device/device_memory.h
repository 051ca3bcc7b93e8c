// The simulated device's image memory: kImageCapacity bytes at device address
// kImageBase, seen by Modbus as two 64 KiB files (16 and 17) and served over
// HTTP as a web image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvarin::device {

// The image memory. A new memory holds only the fill byte, as a device's
// erased flash does.
class DeviceMemory {
  public:
    // kImageCapacity fill bytes.
    DeviceMemory();

    // The whole memory, kImageCapacity bytes.
    std::string_view Bytes() const { return m_bytes; }

    // Copies data to offset; returns false, changing nothing, when it would
    // not fit inside the memory.
    bool Write(std::size_t offset, std::string_view data);

    // Inverts every bit of the byte at offset, as memory gone bad would
    // change it; ignored past the end.
    void CorruptByte(std::size_t offset);

  private:
    std::string m_bytes;
};

}  // namespace kelvarin::device
