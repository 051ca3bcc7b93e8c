// Regular-file access with POSIX calls: open without blocking, check the type,
// then read.
#include "regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace kelvarin {

RegularFile::~RegularFile() {
    Close();
}

bool RegularFile::Open(const std::string& path) {
    Close();
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    // O_NONBLOCK keeps open() from waiting for a FIFO's writer; for a regular
    // file it changes nothing, and anything else is refused below.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::size_t RegularFile::ReadFull(void* buffer, std::size_t length) {
    if (m_fd < 0) {
        return 0;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        ssize_t got = ::read(m_fd, out + done, length - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // end of file or a read error
        }
    }
    return done;
}

bool RegularFile::HasMoreData() {
    unsigned char probe = 0;
    return ReadFull(&probe, 1) == 1;
}

void RegularFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_size = 0;
}

std::optional<std::uint64_t> MeasureFile(const std::string& path) {
    RegularFile file;
    if (!file.Open(path)) {
        return std::nullopt;
    }
    return file.Size();
}

}  // namespace kelvarin
