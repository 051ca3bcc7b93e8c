// The web image: the record layout the device stores at 0x120000 and serves.
//
// Records follow one another from offset 0. Each starts with a 32-byte head
// (FileHead), then the URL path with its NUL, then the ready-made HTTP
// response (header and contents). All links are absolute device addresses;
// all integers are 32-bit little-endian. See PackImage for how it is built.
#pragma once

#include "byte_order.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvarin {

// Device address of image offset 0.
inline constexpr std::uint32_t kImageBase = 0x120000;

// Size of the image memory, and so the largest image.
inline constexpr std::size_t kImageCapacity = 131072;

// The value callers fill the image buffer with before packing.
inline constexpr std::uint8_t kFillByte = 0xFF;

// The response headers stored in front of a file's contents.
inline constexpr std::string_view kHtmlHeader =
    "HTTP/1.1 200 OK\r\nContent-type: text/html\r\n\r\n";
inline constexpr std::string_view kOctetHeader =
    "HTTP/1.1 200 OK\r\nContent-type: application/octet-stream\r\n\r\n";

// Field offsets within a record head.
inline constexpr std::size_t kHeadNameAddress = 0;
inline constexpr std::size_t kHeadResponseAddress = 4;
inline constexpr std::size_t kHeadResponseLength = 8;
inline constexpr std::size_t kHeadTag = 12;
inline constexpr std::size_t kHeadTagSize = 16;
inline constexpr std::size_t kHeadNextAddress = 28;
inline constexpr std::size_t kHeadSize = 32;

// A record head as its fields, before it is written to the image.
struct FileHead {
    std::uint32_t nameAddress = 0;
    std::uint32_t responseAddress = 0;
    std::uint32_t responseLength = 0;
    int tagNumber = 0;  // the tag reads "FileHead<tagNumber>"
    std::uint32_t nextAddress = 0;
};

// The next 4-aligned offset strictly after x: (x rounded down to 4) + 4. It
// advances by 4 when x is already aligned.
constexpr std::size_t NextAligned(std::size_t x) {
    return (x & ~std::size_t{3}) + 4;
}

// True when the URL name, uppercased, ends in "HTM" or "HTML".
bool IsHtmlName(std::string_view name);

// A response header of the same form as kHtmlHeader, naming contentType, with
// "Content-Encoding: gzip" when gzip is true.
std::string ResponseHeader(std::string_view contentType, bool gzip);

// The value of the header line named name (matched ignoring case, without
// its colon), blanks before it skipped; empty when there is none.
std::string HeaderField(std::string_view header, std::string_view name);

// Writes head at record (32 bytes): the four addresses and the tag text with
// its NUL. The tag bytes after the NUL are left untouched (they keep the fill).
void WriteFileHead(std::uint8_t* record, const FileHead& head);

}  // namespace kelvarin
