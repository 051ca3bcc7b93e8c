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

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
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

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* error) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        SetError(error, ENOENT);
        return false;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetError(error, errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes);
    int code = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        SetError(error, code);
    }
    return ok;
}

bool RenameOver(const std::string& from, const std::string& to, std::string* error) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        SetError(error, errno);
        return false;
    }
    return true;
}

void RemoveFile(const std::string& path) {
    ::unlink(path.c_str());
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
