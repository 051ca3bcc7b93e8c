// Files: reading regular files without ever blocking on anything else, and
// writing whole files.
//
// The file list, the packer and the command line accept any path an operator
// gives them. A path may name a folder, a FIFO (whose open() waits for a
// writer), a device or a socket; RegularFile opens only regular files, so none
// of those can hang or crash the program. This header is the one place where
// the core opens files; its implementation is the system's own file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvarin {

// One regular file opened for reading. Not copyable; closes itself.
class RegularFile {
  public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Opens path for reading. False when it cannot be opened or is not a
    // regular file (folder, FIFO, device, socket); the object stays closed.
    bool Open(const std::string& path);

    // Length in bytes measured when the file was opened; 0 when closed.
    std::uint64_t Size() const { return m_size; }

    // Reads up to length bytes into buffer, retrying short reads and signals.
    // Returns the count read: less than length at end of file or on an error.
    std::size_t ReadFull(void* buffer, std::size_t length);

    // True when a read at the current position still yields data, that is
    // the file grew past what has been read. False at end of file or on error.
    bool HasMoreData();

    // Closes the file; harmless when already closed.
    void Close();

  private:
    std::intptr_t m_fd = -1;  // the system's descriptor or handle; -1 when closed
    std::uint64_t m_size = 0;
};

// Length of the regular file at path, or nothing when it cannot be opened.
std::optional<std::uint64_t> MeasureFile(const std::string& path);

// The whole of the regular file at path, when it can be opened and is at most
// limit bytes long; nothing otherwise (*tooLarge, when given, tells which).
std::optional<std::string> ReadRegularFile(const std::string& path, std::uint64_t limit,
                                           bool* tooLarge = nullptr);

// Writes exactly bytes to path, whole or not at all, the one way every
// output is written: into a new temporary file created exclusively beside
// path (never an existing name, never through a link), flushed to disk, then
// renamed over path. A link planted at path is replaced, never followed, and
// a reader never sees half a file. A path naming a device or a pipe that is
// already there (/dev/null) is written as it is. False, with the system's
// reason in *error when given, when it cannot be written whole (a folder
// included); the temporary file is then removed and path left as it was.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Writes bytes to a new file stem + suffix, or, when that name is taken (by
// a file or a link alike), stem-2 + suffix, stem-3 + suffix, ... (up to
// 999): the first free name, taken exclusively, so two writers never share
// one and nothing planted is followed. Written whole or not at all. The path
// written, or nothing with the path tried and the reason in *error.
std::optional<std::string> KeepNewFile(const std::string& stem, const std::string& suffix,
                                       std::string_view bytes, std::string* error = nullptr);

// What a name is, without following a link at it.
enum class PathKind {
    kMissing,  // nothing by that name
    kRegular,  // a regular file
    kLink,     // a symbolic link (or another reparse point), whatever it points to
    kFolder,
    kOther,    // a device, a pipe, a socket
    kUnknown,  // it cannot be told (the folder cannot be read)
};
PathKind KindOfPath(const std::string& path);

// Makes an empty file at path, exclusively: false, with the reason in
// *error when given, when anything (a link included) has that name already
// or it cannot be made.
bool MakeNewFile(const std::string& path, std::string* error = nullptr);

// A file written as it goes (a trace): made as WriteWholeFile makes one and
// renamed into place at once, so it can be read while it grows. Not copyable;
// flushes and closes itself.
class OutputStream {
  public:
    OutputStream() = default;
    ~OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    // Makes the file at path (a link there replaced, not followed). False,
    // with the reason in *error when given, when it cannot be made.
    bool Open(const std::string& path, std::string* error = nullptr);
    bool IsOpen() const { return m_fd != -1; }
    // Appends bytes (kept in a buffer, written out as it fills).
    void Write(std::string_view bytes);
    // Writes out what the buffer holds.
    void Flush();
    // True when everything so far could be written.
    bool Good() const { return m_good; }
    // Flushes and closes; harmless when closed.
    void Close();

  private:
    std::intptr_t m_fd = -1;
    std::string m_buffer;
    bool m_good = true;
};

// True when a and b name one existing file (the same file through another
// spelling, a link or a hard link included); false when either does not
// exist or they differ.
bool IsSameFile(const std::string& a, const std::string& b);

// True when a and b name one place: one existing file (IsSameFile), or, for
// a file not there yet, the same path once made absolute and rid of "." and
// ".." parts.
bool IsSamePlace(const std::string& a, const std::string& b);

// True when users other than its owner may read the file at path (POSIX
// permissions); false where the system has none such, or it cannot be told.
bool IsReadableByOthers(const std::string& path);

// Creates folder and its missing parents. False when it does not exist
// afterwards.
bool MakeFolders(const std::string& folder);

// Lets the process open as many files and sockets at once as the system
// allows it (the soft limit raised to the hard one), for servers and clients
// of many devices. False when the limit cannot be read or raised.
bool RaiseOpenFileLimit();

}  // namespace kelvarin
