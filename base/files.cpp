// What regular files and folders are to every system, over the system's own
// file (files_posix.cpp, files_windows.cpp).
#include "files.h"
#include "files_system.h"
#include "paths.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <utility>

namespace kelvarin {

bool RegularFile::HasMoreData() {
    unsigned char probe = 0;
    return ReadFull(&probe, 1) == 1;
}

std::optional<std::uint64_t> MeasureFile(const std::string& path) {
    RegularFile file;
    if (!file.Open(path)) {
        return std::nullopt;
    }
    return file.Size();
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::uint64_t limit,
                                           bool* tooLarge) {
    if (tooLarge) {
        *tooLarge = false;
    }
    RegularFile file;
    if (!file.Open(path)) {
        return std::nullopt;
    }
    if (file.Size() > limit) {
        if (tooLarge) {
            *tooLarge = true;
        }
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    bytes.resize(file.ReadFull(bytes.data(), bytes.size()));
    return bytes;
}

namespace {

// The folder path is in ("." for a bare name) and its last part.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
#if defined(_WIN32)
    const std::size_t slash = path.find_last_of("/\\");
#else
    const std::size_t slash = path.find_last_of('/');
#endif
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// A new, empty temporary file in path's folder, created exclusively under a
// random name (".NAME.XXXXXXXX.tmp"): its handle and name, or kNoFile with
// the reason.
FileHandle CreateTemporaryBeside(const std::string& path, std::string* temporary,
                                 std::string* error) {
    const auto [folder, name] = SplitPath(path);
    static thread_local std::mt19937_64 random{std::random_device{}() ^
                                               static_cast<std::uint64_t>(std::chrono::steady_clock::now()
                                                                              .time_since_epoch()
                                                                              .count())};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char tag[17];
        std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(random()));
        *temporary = (folder == "." ? std::string() : folder) + "." + name + "." + tag + ".tmp";
        bool exists = false;
        const FileHandle file = CreateExclusive(*temporary, &exists, error);
        if (file != kNoFile || !exists) {
            return file;
        }
    }
    return kNoFile;
}

// Writes bytes into a new temporary file beside path, flushed to disk and
// closed: its name, or nothing with the reason (the file then removed).
std::optional<std::string> WriteTemporaryBeside(const std::string& path, std::string_view bytes,
                                                std::string* error) {
    std::string temporary;
    const FileHandle file = CreateTemporaryBeside(path, &temporary, error);
    if (file == kNoFile) {
        return std::nullopt;
    }
    bool ok = WriteAll(file, bytes, error) && FlushToDisk(file, error);
    ok = CloseFile(file, ok ? error : nullptr) && ok;
    if (!ok) {
        RemoveFile(temporary);
        return std::nullopt;
    }
    return temporary;
}

// Refuses what is no place for a file: a folder, or a name whose kind
// cannot be told. True for a device or a pipe (*direct then true): written
// as it is.
bool Writable(const std::string& path, bool* direct, std::string* error) {
    *direct = false;
    switch (KindOfPath(path)) {
        case PathKind::kFolder:
            if (error) {
                *error = "it is a folder";
            }
            return false;
        case PathKind::kOther:
            *direct = true;
            return true;
        case PathKind::kMissing:
        case PathKind::kRegular:
        case PathKind::kLink:
        case PathKind::kUnknown:
            break;
    }
    return true;
}

}  // namespace

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* error) {
    bool direct = false;
    if (path.empty() || !Writable(path, &direct, error)) {
        if (error && path.empty()) {
            *error = "no file named";
        }
        return false;
    }
    if (direct) {
        const FileHandle file = OpenExistingForWriting(path, error);
        if (file == kNoFile) {
            return false;
        }
        const bool ok = WriteAll(file, bytes, error);
        return CloseFile(file, ok ? error : nullptr) && ok;
    }
    const std::optional<std::string> temporary = WriteTemporaryBeside(path, bytes, error);
    if (!temporary) {
        return false;
    }
    if (!RenameOver(*temporary, path, error)) {
        RemoveFile(*temporary);
        return false;
    }
    return true;
}

std::optional<std::string> KeepNewFile(const std::string& stem, const std::string& suffix,
                                       std::string_view bytes, std::string* error) {
    std::string path = stem + suffix;
    const std::optional<std::string> temporary = WriteTemporaryBeside(path, bytes, error);
    if (!temporary) {
        if (error) {
            *error = path + ": " + *error;
        }
        return std::nullopt;
    }
    for (int n = 2; n <= 1000; ++n) {
        bool exists = false;
        std::string why;
        if (RenameNew(*temporary, path, &exists, &why)) {
            return path;
        }
        if (!exists || n == 1000) {
            RemoveFile(*temporary);
            if (error) {
                *error = path + ": " + (exists ? ExistsReason() : why);
            }
            return std::nullopt;
        }
        path = stem + "-" + std::to_string(n) + suffix;
    }
    return std::nullopt;
}

bool MakeNewFile(const std::string& path, std::string* error) {
    bool exists = false;
    const FileHandle file = CreateExclusive(path, &exists, error);
    return file != kNoFile && CloseFile(file, error);
}

OutputStream::~OutputStream() {
    Close();
}

bool OutputStream::Open(const std::string& path, std::string* error) {
    Close();
    m_good = true;
    bool direct = false;
    if (path.empty() || !Writable(path, &direct, error)) {
        return false;
    }
    if (direct) {
        m_fd = OpenExistingForWriting(path, error);
        return m_fd != kNoFile;
    }
    std::string temporary;
    const FileHandle file = CreateTemporaryBeside(path, &temporary, error);
    if (file == kNoFile) {
        return false;
    }
    if (!RenameOver(temporary, path, error)) {
        CloseFile(file, nullptr);
        RemoveFile(temporary);
        return false;
    }
    m_fd = file;
    return true;
}

void OutputStream::Write(std::string_view bytes) {
    if (m_fd == kNoFile) {
        return;
    }
    m_buffer.append(bytes);
    if (m_buffer.size() >= 64 * 1024) {
        Flush();
    }
}

void OutputStream::Flush() {
    if (m_fd != kNoFile && !m_buffer.empty()) {
        m_good = WriteAll(m_fd, m_buffer, nullptr) && m_good;
        m_buffer.clear();
    }
}

void OutputStream::Close() {
    if (m_fd == kNoFile) {
        return;
    }
    Flush();
    m_good = CloseFile(m_fd, nullptr) && m_good;
    m_fd = kNoFile;
}

bool IsSamePlace(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    if (IsSameFile(a, b)) {
        return true;
    }
    std::error_code error;
    const std::filesystem::path first = std::filesystem::absolute(PathFromUtf8(a), error);
    const std::filesystem::path second = std::filesystem::absolute(PathFromUtf8(b), error);
    return !error && first.lexically_normal() == second.lexically_normal();
}

}  // namespace kelvarin
