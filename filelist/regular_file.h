// Reading regular files without ever blocking on anything else.
//
// The file list and the packer accept any path an operator gives them. A path
// may name a folder, a FIFO (whose open() waits for a writer), a device or a
// socket; this helper opens only regular files, so none of those can hang or
// crash the program. It is the one place where the file list and the packer
// touch the operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

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
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

// Length of the regular file at path, or nothing when it cannot be opened.
std::optional<std::uint64_t> MeasureFile(const std::string& path);

}  // namespace kelvarin
