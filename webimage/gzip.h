// gzip streams of the web image's compressed records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kelvarin {

// data as a gzip stream at the best compression. The header carries no name
// and no time, and "unknown" as its operating system, so the bytes depend
// only on data and the compressor, never on the machine or the time. Nothing
// when the compressor fails.
std::optional<std::vector<std::uint8_t>> GzipBest(std::span<const std::uint8_t> data);

// The contents of a gzip stream when it decompresses to at most limit bytes;
// nothing for a broken stream or one that is larger.
std::optional<std::vector<std::uint8_t>> Gunzip(std::span<const std::uint8_t> stream,
                                                std::size_t limit);

// The original size a gzip stream's trailer states (modulo 2^32); nothing for
// a stream too short to be gzip.
std::optional<std::uint32_t> GzipStatedSize(std::span<const std::uint8_t> stream);

}  // namespace kelvarin
