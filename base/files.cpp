// What regular files and folders are to every system, over the system's own
// file (files_posix.cpp, files_windows.cpp).
#include "files.h"
#include "files_system.h"
#include "paths.h"

#include <filesystem>

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

bool ReplaceWholeFile(const std::string& path, std::string_view bytes, std::string* error) {
    const std::string temporary = path + ".tmp";
    if (!WriteWholeFile(temporary, bytes, error)) {
        RemoveFile(temporary);
        return false;
    }
    if (!RenameOver(temporary, path, error)) {
        RemoveFile(temporary);
        return false;
    }
    return true;
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
