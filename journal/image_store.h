// The images Kelvarin wrote to devices, each kept under its SHA-256 in a
// folder beside the journal (images/), so that a later write of only what
// changed can take what a device holds from Kelvarin's own records instead
// of reading it all.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvarin {

// The folder of images beside the journal at journalPath.
std::string ImageStoreFolder(const std::string& journalPath);

// A folder of images named SHA256.img, pruned oldest first past a size.
class ImageStore {
  public:
    // The store in folder, kept below maxBytes in all.
    explicit ImageStore(std::string folder, std::uint64_t maxBytes = std::uint64_t{64} << 20);

    // Keeps image (made whole or not at all, as every output is), then
    // prunes. False, with the reason in *error, when it cannot be kept.
    bool Keep(std::span<const std::uint8_t> image, std::string* error);

    // The image of hash sha256, when kept and whole (its bytes hash to it).
    std::optional<std::vector<std::uint8_t>> Find(const std::string& sha256) const;

  private:
    void Prune() const;

    std::string m_folder;
    std::uint64_t m_maxBytes;
};

}  // namespace kelvarin
