// The image store: content-addressed files, the oldest pruned first.
#include "image_store.h"

#include "ascii.h"
#include "files.h"
#include "journal.h"
#include "paths.h"

#include <algorithm>
#include <filesystem>

namespace kelvarin {

std::string ImageStoreFolder(const std::string& journalPath) {
    const std::filesystem::path journal = PathFromUtf8(journalPath);
    return Utf8FromPath(journal.parent_path() / "images");
}

ImageStore::ImageStore(std::string folder, std::uint64_t maxBytes)
    : m_folder(std::move(folder)), m_maxBytes(maxBytes) {}

bool ImageStore::Keep(std::span<const std::uint8_t> image, std::string* error) {
    if (!MakeFolders(m_folder)) {
        *error = "cannot make the folder " + m_folder;
        return false;
    }
    const std::string path = m_folder + "/" + Sha256Hex(BytesText(image)) + ".img";
    if (!WriteWholeFile(path, BytesText(image), error)) {
        *error = path + ": " + *error;
        return false;
    }
    Prune();
    return true;
}

std::optional<std::vector<std::uint8_t>> ImageStore::Find(const std::string& sha256) const {
    if (sha256.size() != 64 || sha256.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return std::nullopt;
    }
    const std::optional<std::string> bytes =
        ReadRegularFile(m_folder + "/" + sha256 + ".img", std::uint64_t{1} << 20);
    if (!bytes || Sha256Hex(*bytes) != sha256) {
        return std::nullopt;  // gone, or changed since it was kept
    }
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

void ImageStore::Prune() const {
    struct Kept {
        std::filesystem::path path;
        std::filesystem::file_time_type time;
        std::uintmax_t size;
    };
    std::vector<Kept> kept;
    std::uint64_t total = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(m_folder), error)) {
        if (entry.is_regular_file(error) && entry.path().extension() == ".img") {
            kept.push_back({entry.path(), entry.last_write_time(error), entry.file_size(error)});
            total += kept.back().size;
        }
    }
    std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) { return a.time < b.time; });
    // The newest is never pruned: it is the one just kept.
    for (std::size_t i = 0; total > m_maxBytes && i + 1 < kept.size(); ++i) {
        std::filesystem::remove(kept[i].path, error);
        total -= kept[i].size;
    }
}

}  // namespace kelvarin
