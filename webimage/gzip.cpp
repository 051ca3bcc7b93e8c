// gzip with zlib.
#include "gzip.h"

#include "byte_order.h"

#include <zlib.h>

#include <climits>
#include <cstring>

namespace kelvarin {

namespace {

// zlib's windowBits for a gzip wrapper around a 32 KiB window.
constexpr int kGzipWindowBits = 15 + 16;
// The operating system field's value for "unknown" (RFC 1952).
constexpr int kUnknownSystem = 255;
// The smallest gzip stream: a 10-byte header, an empty block, the trailer.
constexpr std::size_t kSmallestGzip = 18;

}  // namespace

std::optional<std::vector<std::uint8_t>> GzipBest(std::span<const std::uint8_t> data) {
    if (data.size() > UINT_MAX) {
        return std::nullopt;
    }
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 9,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    gz_header header{};
    header.os = kUnknownSystem;
    deflateSetHeader(&stream, &header);
    std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    const std::size_t produced = stream.total_out;
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        return std::nullopt;
    }
    out.resize(produced);
    return out;
}

std::optional<std::vector<std::uint8_t>> Gunzip(std::span<const std::uint8_t> compressed,
                                                std::size_t limit) {
    if (compressed.size() > UINT_MAX) {
        return std::nullopt;
    }
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::vector<std::uint8_t> out;
    std::uint8_t buffer[16384];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t got = sizeof buffer - stream.avail_out;
        if (out.size() + got > limit) {
            result = Z_BUF_ERROR;
            break;
        }
        out.insert(out.end(), buffer, buffer + got);
        if (result == Z_OK && got == 0 && stream.avail_in == 0) {
            result = Z_BUF_ERROR;  // the stream ends early
        }
    }
    const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    if (!whole) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::uint32_t> GzipStatedSize(std::span<const std::uint8_t> stream) {
    if (stream.size() < kSmallestGzip || stream[0] != 0x1F || stream[1] != 0x8B) {
        return std::nullopt;
    }
    return LoadLE32(stream.data() + stream.size() - 4);
}

}  // namespace kelvarin
