// Loading and storing fixed-size integers in a given byte order.
//
// The web image stores its addresses little-endian; Modbus frames carry their
// fields big-endian. Both go through these, never through casts of pointers.
#pragma once

#include <cstdint>

namespace kelvarin {

// Writes value at p, least significant byte first (4 bytes).
constexpr void StoreLE32(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

// Reads 4 bytes at p, least significant byte first.
constexpr std::uint32_t LoadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Writes value at p, most significant byte first (2 bytes).
constexpr void StoreBE16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

// Reads 2 bytes at p, most significant byte first.
constexpr std::uint16_t LoadBE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

}  // namespace kelvarin
