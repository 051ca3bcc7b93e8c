// A hardened reader that walks a web image's records.
//
// Used on images from anywhere: the simulated device's memory (written by any
// client), files given to `kelvarin-cli inspect`. It never reads outside the
// bytes it is given, and every chain it accepts moves forwards by at least a
// record head (each record starts after the head before it), so a walk ends
// after at most size / 32 records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// One record of an image. The views point into the image that was read and
// are valid only as long as it is.
struct ImageRecord {
    std::size_t offset = 0;         // where the head starts
    std::string tag;                // text of the tag field, e.g. "FileHead0"
    std::string_view path;          // URL path, e.g. "/index.htm"
    std::uint32_t nameAddress = 0;  // device addresses as stored in the head
    std::uint32_t responseAddress = 0;
    std::uint32_t responseLength = 0;
    std::uint32_t nextAddress = 0;
    std::size_t responseOffset = 0;  // image offset of the response
    std::string_view response;       // header and contents, as served
    std::string_view header;         // up to and including the blank line
    std::string_view contents;       // the file's bytes
    std::string contentType;         // value of the Content-type line, or empty
    std::string contentEncoding;     // value of the Content-Encoding line, or empty
};

// What is wrong with a record of an image.
enum class ImageFault {
    kNone,
    kHeadPastEnd,       // the record's head runs past the end
    kTagWithoutNul,     // the tag field holds no NUL
    kNameOutside,       // value: the name's address
    kNameWithoutNul,    // value: the name's offset
    kResponseOutside,   // value: the response's address
    kResponsePastEnd,   // value: the response's length, at: its offset
    kNextOutside,       // value: the next record's address
    kChainGoesBack,     // value: the next record's offset (a loop or a backward link)
    kNextInsideHead,    // value: the next record's offset
};

// What is wrong with an image and where.
struct ImageError {
    std::size_t offset = 0;  // offset of the record (or field) at fault
    std::string what;        // in English, e.g. "name address 0x130000 outside the image"
    ImageFault fault = ImageFault::kNone;
    std::uint64_t value = 0;  // the address, offset or length the fault names
    std::uint64_t at = 0;     // kResponsePastEnd: where the response starts

    // "offset N: what".
    std::string Message() const;
};

// The result of walking an image: the records read, and an error when the
// walk stopped at a broken record (the records before it are still listed).
struct ImageWalk {
    std::vector<ImageRecord> records;
    bool ok = true;
    ImageError error;
};

// Walks the records of image from offset 0, the device address of offset 0
// being base. An empty image is sound and has no records. On a broken record
// the walk stops and the result says why.
ImageWalk ReadImage(std::string_view image, std::uint32_t base = 0x120000);

// The record whose path equals path, or nullptr.
const ImageRecord* FindRecord(const ImageWalk& walk, std::string_view path);

// How far an image's chain reaches into a device's memory, as far as its
// first bytes tell: read from the device a piece at a time, its records say
// where the next bytes to read are and where the image ends.
struct ChainExtent {
    enum class State {
        kComplete,  // the chain ends: length is the image's length
        kNeedMore,  // the chain goes on: read up to length at least, then ask again
        kBroken,    // no sound image: error says what is wrong and where
    };
    State state = State::kBroken;
    // kComplete: the image's length, as the packer made it (the last
    // record's response end, rounded up as records are); kNeedMore: the
    // bytes that must have been read before the walk can go on.
    std::size_t length = 0;
    ImageError error;  // kBroken
};

// Walks the records in prefix, the first bytes of a memory of capacity bytes
// whose offset 0 is device address base, as ReadImage does. A record that
// names bytes past the prefix but inside the memory needs them read; one
// that names bytes outside the memory, or is broken otherwise, is no image.
ChainExtent MeasureChain(std::string_view prefix, std::size_t capacity,
                         std::uint32_t base = 0x120000);

}  // namespace kelvarin
