// Files with the Windows API: wide (UTF-16) names, so a path in any language
// works; only regular files are opened for reading.
#include "files.h"
#include "files_system.h"
#include "windows_text.h"

#include <windows.h>

#include <algorithm>

namespace kelvarin {

namespace {

void SetError(std::string* error, DWORD code) {
    if (!error) {
        return;
    }
    wchar_t text[512] = {};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, sizeof text / sizeof text[0], nullptr);
    std::string message = Utf8FromWide(std::wstring_view(text, length));
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    *error = message.empty() ? "error " + std::to_string(code) : message;
}

HANDLE Handle(std::intptr_t fd) {
    return reinterpret_cast<HANDLE>(fd);
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
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // A folder, a device or a pipe is no file to pack.
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) || size.QuadPart < 0) {
        CloseHandle(file);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        return false;
    }
    m_fd = reinterpret_cast<std::intptr_t>(file);
    m_size = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

std::size_t RegularFile::ReadFull(void* buffer, std::size_t length) {
    if (m_fd == -1) {
        return 0;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(Handle(m_fd), out + done, want, &got, nullptr) || got == 0) {
            break;  // end of file or a read error
        }
        done += got;
    }
    return done;
}

void RegularFile::Close() {
    if (m_fd != -1) {
        CloseHandle(Handle(m_fd));
        m_fd = -1;
    }
    m_size = 0;
}

PathKind KindOfPath(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                              : PathKind::kUnknown;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return PathKind::kLink;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return PathKind::kFolder;
    }
    return attributes & FILE_ATTRIBUTE_DEVICE ? PathKind::kOther : PathKind::kRegular;
}

FileHandle CreateExclusive(const std::string& path, bool* exists, std::string* error) {
    *exists = false;
    if (path.empty() || path.find('\0') != std::string::npos) {
        SetError(error, ERROR_INVALID_NAME);
        return kNoFile;
    }
    // CREATE_NEW: the name must be new; a link at it makes it fail too.
    // FILE_SHARE_DELETE: a file written as it goes (a trace) is renamed
    // into place while it is open.
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        SetError(error, code);
        return kNoFile;
    }
    return reinterpret_cast<FileHandle>(file);
}

FileHandle OpenExistingForWriting(const std::string& path, std::string* error) {
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetError(error, GetLastError());
        return kNoFile;
    }
    return reinterpret_cast<FileHandle>(file);
}

bool WriteAll(FileHandle file, std::string_view bytes, std::string* error) {
    while (!bytes.empty()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(Handle(file), bytes.data(), want, &written, nullptr) || written == 0) {
            SetError(error, GetLastError());
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool FlushToDisk(FileHandle file, std::string* error) {
    if (!FlushFileBuffers(Handle(file))) {
        const DWORD code = GetLastError();
        if (code == ERROR_INVALID_HANDLE || code == ERROR_INVALID_FUNCTION) {
            return true;  // a device: nothing to flush
        }
        SetError(error, code);
        return false;
    }
    return true;
}

bool CloseFile(FileHandle file, std::string* error) {
    if (!CloseHandle(Handle(file))) {
        SetError(error, GetLastError());
        return false;
    }
    return true;
}

bool RenameOver(const std::string& from, const std::string& to, std::string* error) {
    if (!MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        SetError(error, GetLastError());
        return false;
    }
    return true;
}

bool RenameNew(const std::string& from, const std::string& to, bool* exists, std::string* error) {
    *exists = false;
    if (!MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        *exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        SetError(error, code);
        return false;
    }
    return true;
}

void RemoveFile(const std::string& path) {
    DeleteFileW(WidePath(path).c_str());
}

std::string ExistsReason() {
    std::string reason;
    SetError(&reason, ERROR_FILE_EXISTS);
    return reason;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    // A file is its volume and its index on it; folders open too, with
    // FILE_FLAG_BACKUP_SEMANTICS.
    const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
        if (path.empty()) {
            return false;
        }
        HANDLE file = CreateFileW(WidePath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool ok = GetFileInformationByHandle(file, info) != 0;
        CloseHandle(file);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return identify(a, &first) && identify(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

bool MakeFolders(const std::string& folder) {
    // Each folder of the path in turn, through WidePath, so a path past 260
    // characters is made as any other.
    const auto isFolder = [](const std::string& path) {
        const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (folder.empty()) {
        return false;
    }
    constexpr std::size_t npos = std::string::npos;
    for (std::size_t end = folder.find_first_of("/\\", 1); end != npos;
         end = folder.find_first_of("/\\", end + 1)) {
        const std::string prefix = folder.substr(0, end);
        // A drive ("C:") and the slashes of a share are no folders to make.
        const bool named = prefix.back() != ':' && prefix.find_first_not_of("/\\") != npos;
        if (named && !isFolder(prefix)) {
            CreateDirectoryW(WidePath(prefix).c_str(), nullptr);
        }
    }
    if (!isFolder(folder)) {
        CreateDirectoryW(WidePath(folder).c_str(), nullptr);
    }
    return isFolder(folder);
}

bool RaiseOpenFileLimit() {
    return true;  // sockets are not counted against a descriptor limit here
}

bool IsReadableByOthers(const std::string&) {
    return false;  // access lists, not permission bits: nothing to tell by
}

}  // namespace kelvarin
