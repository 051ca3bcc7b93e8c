// PackImage: builds the web image from a list of files, and says what became
// of each file, as data. The log lines are made from the result elsewhere.
#pragma once

#include "web_image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvarin {

// One file to pack: where to read it and the URL path it is served under.
struct PackFile {
    std::string path;     // the file's path, bytes as the file system takes them
    std::string urlName;  // "/" + the file's name, the record's name string
};

// What to pack. A file's tag number is its index in files, so a file that is
// not packed leaves a gap in the tags, as an unreadable row of the file list
// does.
struct PackRequest {
    std::vector<PackFile> files;
    // The total size the file list shows, in bytes; when it exceeds the
    // capacity the result says the image may not hold every file. Nothing
    // for no such check.
    std::optional<std::uint64_t> listedBytes;
};

// What became of one file.
enum class FileOutcome {
    kPacked,      // a record holds it
    kOpenFailed,  // it cannot be opened as a regular file
    kTooLarge,    // its record would run past the capacity
    kReadFailed,  // it yielded fewer or more bytes than its length while read
};

// One file of the request and its outcome.
struct PackedFile {
    std::string path;
    std::string urlName;
    FileOutcome outcome = FileOutcome::kOpenFailed;
    std::uint64_t size = 0;      // its length when opened (0 when it could not be)
    std::size_t offset = 0;      // where its record starts, when packed
    std::size_t headerSize = 0;  // bytes of its response header, when packed
};

// What one packing run did.
struct PackResult {
    std::size_t length = 0;           // image length, a multiple of 4; 0 when nothing was packed
    bool mayExceedCapacity = false;   // the listed total is above the capacity
    std::vector<PackedFile> files;    // one per requested file, in request order
    std::vector<std::uint8_t> image;  // the image's length bytes (PackImage only)

    // Files packed / not packed.
    int Packed() const;
    int Skipped() const;
};

// Packs request into buffer, one record per readable file that fits, and
// reports what became of each file. Never writes at or past the buffer's end.
// Bytes it does not write keep the caller's fill, whose value the caller
// passes as fill: a file that yields fewer or more bytes than its length while
// being read is not packed, and the bytes it had already put in place are set
// back to fill. The result's image is left empty.
PackResult PackImageInto(const PackRequest& request, std::span<std::uint8_t> buffer,
                         std::uint8_t fill = kFillByte);

// PackImageInto a fresh capacity-byte buffer of kFillByte; the result's image
// holds the image's bytes.
PackResult PackImage(const PackRequest& request, std::size_t capacity = kImageCapacity);

// The URL name of a path: "/" followed by its last component.
std::string UrlName(const std::string& path);

// The files at paths, in order, each under its URL name.
std::vector<PackFile> PackFilesFor(const std::vector<std::string>& paths);

}  // namespace kelvarin
