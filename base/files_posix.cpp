// Files with POSIX calls: open without blocking, check the type, then read;
// whole-file writes that report the system's reason for a failure.
#include "files.h"
#include "files_system.h"
#include "paths.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kelvarin {

namespace {

void SetError(std::string* error, int code) {
    if (error) {
        *error = std::strerror(code);
    }
}

}  // namespace

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
        ssize_t got = ::read(static_cast<int>(m_fd), out + done, length - done);
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

void RegularFile::Close() {
    if (m_fd >= 0) {
        ::close(static_cast<int>(m_fd));
        m_fd = -1;
    }
    m_size = 0;
}

PathKind KindOfPath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kUnknown;
    }
    if (S_ISLNK(info.st_mode)) {
        return PathKind::kLink;
    }
    if (S_ISREG(info.st_mode)) {
        return PathKind::kRegular;
    }
    return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

FileHandle CreateExclusive(const std::string& path, bool* exists, std::string* error) {
    *exists = false;
    if (path.empty() || path.find('\0') != std::string::npos) {
        SetError(error, ENOENT);
        return kNoFile;
    }
    // O_EXCL: the name must be new, and a link at it is never followed.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        *exists = errno == EEXIST;
        SetError(error, errno);
        return kNoFile;
    }
    return fd;
}

FileHandle OpenExistingForWriting(const std::string& path, std::string* error) {
    // O_NONBLOCK: a pipe with no reader fails at once instead of waiting.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, errno);
        return kNoFile;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

bool WriteAll(FileHandle file, std::string_view bytes, std::string* error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(static_cast<int>(file), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetError(error, errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool FlushToDisk(FileHandle file, std::string* error) {
    if (::fsync(static_cast<int>(file)) != 0 && errno != EINVAL && errno != EROFS) {
        SetError(error, errno);  // EINVAL: a device or pipe, nothing to flush
        return false;
    }
    return true;
}

bool CloseFile(FileHandle file, std::string* error) {
    if (::close(static_cast<int>(file)) != 0 && errno != EINTR) {
        SetError(error, errno);
        return false;
    }
    return true;
}

bool RenameOver(const std::string& from, const std::string& to, std::string* error) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        SetError(error, errno);
        return false;
    }
    return true;
}

bool RenameNew(const std::string& from, const std::string& to, bool* exists, std::string* error) {
    *exists = false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        *exists = errno == EEXIST;
        SetError(error, errno);
        return false;
    }
    // A file system without renameat2: a hard link is as exclusive.
    if (::link(from.c_str(), to.c_str()) != 0) {
        *exists = errno == EEXIST;
        SetError(error, errno);
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

void RemoveFile(const std::string& path) {
    ::unlink(path.c_str());
}

std::string ExistsReason() {
    return std::strerror(EEXIST);
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &first) == 0 &&
           ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool IsReadableByOthers(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool MakeFolders(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(PathFromUtf8(folder), ec);
    return std::filesystem::is_directory(PathFromUtf8(folder), ec);
}

bool RaiseOpenFileLimit() {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0) {
        return false;
    }
    if (files.rlim_cur >= files.rlim_max) {
        return true;
    }
    files.rlim_cur = files.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &files) == 0;
}

}  // namespace kelvarin
