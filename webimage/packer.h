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
    std::string urlName;  // the record's name string: "/" + the file's name, or
                          // "/" + its path below the site root
};

// The web options: all off, the image is in the default format.
struct PackOptions {
    // Each record's header names the file's type from the built-in table
    // (off: text/html for HTML names, application/octet-stream for the rest).
    bool contentTypes = false;
    // Text-like files are stored gzip-compressed, with "Content-Encoding:
    // gzip", where that is smaller; the capacity checks then count the bytes
    // stored.
    bool gzip = false;
    // The site's root folder: files under it are named by their path below
    // it (see PackFilesFor). Empty for none.
    std::string siteRoot;

    // True when any option is on.
    bool Any() const { return contentTypes || gzip || !siteRoot.empty(); }
};

// What to pack. A file's tag number is its index in files, so a file that is
// not packed leaves a gap in the tags, as an unreadable row of the file list
// does.
struct PackRequest {
    std::vector<PackFile> files;
    // The total size the file list shows, in bytes; when it exceeds the
    // capacity the result says the image may not hold every file. Nothing
    // for no such check. With gzip the bytes stored are counted instead.
    std::optional<std::uint64_t> listedBytes;
    PackOptions options;
    // Files that were to be packed but were left out before packing (past the
    // file list's limit), in order; the result names them.
    std::vector<std::string> leftOut = {};
    // Whoever sends the image sends nothing unless every file was packed and
    // none left out (SendFiles honours it; the packer packs as it can).
    bool allOrNothing = false;
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
    std::uint64_t size = 0;        // its length when opened (0 when it could not be)
    std::uint64_t storedSize = 0;  // bytes of contents in the record: size, or the
                                   // compressed size when gzip is true
    bool gzip = false;             // stored gzip-compressed
    std::string contentType;       // the type its header names, when packed
    std::size_t offset = 0;        // where its record starts, when packed
    std::uint64_t recordSize = 0;  // the bytes its record takes (or would take: kTooLarge)
    int duplicateOf = -1;          // an earlier packed file with the same URL name,
                                   // which the device serves instead; -1 for none
};

// What one packing run did.
struct PackResult {
    std::size_t length = 0;           // image length, a multiple of 4; 0 when nothing was packed
    bool mayExceedCapacity = false;   // the listed (with gzip: stored) total exceeds the capacity
    PackOptions options;              // the options it packed with
    std::vector<PackedFile> files;    // one per requested file, in request order
    std::vector<std::uint8_t> image;  // the image's length bytes (PackImage only)
    std::size_t capacity = 0;         // the bytes the image could hold
    std::vector<std::string> leftOut;  // the request's files left out before packing

    // Files packed / not packed (leftOut not counted).
    int Packed() const;
    int Skipped() const;

    // True when every file of the request was packed and none was left out.
    bool Complete() const { return Skipped() == 0 && leftOut.empty(); }
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

// The URL name of a path in the default format: "/" followed by its last
// component, as the system's ANSI code page spells it.
std::string UrlName(const std::string& path);

// The URL name of path with the web options: "/" + the path relative to the
// folder root, "/" between its folders (e.g. root/css/main.css ->
// "/css/main.css"), in UTF-8. A path that is not below root, or an empty
// root, gives "/" + its last component. Paths are compared after making them
// absolute and removing "." and ".." parts; symbolic links are not followed.
std::string UrlNameBelow(const std::string& path, const std::string& root);

// The files at paths, in order, each under its URL name: with any web option
// on, UrlNameBelow the site root; else UrlName, as the default format names
// files.
std::vector<PackFile> PackFilesFor(const std::vector<std::string>& paths,
                                   const PackOptions& options = {});

}  // namespace kelvarin
