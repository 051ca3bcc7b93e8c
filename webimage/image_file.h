// An image file from disk, checked before it is sent or loaded.
#pragma once

#include "image_reader.h"

#include <cstdint>
#include <string>

namespace kelvarin {

// Why an image file cannot be used.
enum class ImageFileFault {
    kNone,
    kUnreadable,        // not a regular file that can be read
    kFarTooLarge,       // far larger than any image: not read at all
    kLargerThanMemory,  // larger than the image memory
    kOddLength,         // records are written as 16-bit words
    kBroken,            // the chain of records is broken
    kEmpty,             // no records: nothing to send or compare
};

// An image file and what is wrong with it.
struct ImageFile {
    ImageFileFault fault = ImageFileFault::kUnreadable;
    std::string bytes;       // the image, when fault is kNone
    std::uint64_t size = 0;  // its length, when it could be read
    ImageError error;        // where and why, for kBroken
};

// Reads the image file at path and checks it as a device would hold it: no
// larger than the image memory, of even length and a sound chain of at least
// one record.
// The fault says what is wrong otherwise (bytes then empty).
ImageFile LoadImageFile(const std::string& path);

}  // namespace kelvarin
