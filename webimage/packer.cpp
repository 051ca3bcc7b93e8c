// The packer: one record per readable file, read straight into its place.
#include "packer.h"

#include "files.h"

#include <algorithm>
#include <cstring>

namespace kelvarin {

int PackResult::Packed() const {
    return static_cast<int>(std::count_if(files.begin(), files.end(), [](const PackedFile& f) {
        return f.outcome == FileOutcome::kPacked;
    }));
}

int PackResult::Skipped() const {
    return static_cast<int>(files.size()) - Packed();
}

std::string UrlName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
}

std::vector<PackFile> PackFilesFor(const std::vector<std::string>& paths) {
    std::vector<PackFile> files;
    files.reserve(paths.size());
    for (const std::string& path : paths) {
        files.push_back({path, UrlName(path)});
    }
    return files;
}

PackResult PackImageInto(const PackRequest& request, std::span<std::uint8_t> buffer,
                         std::uint8_t fill) {
    PackResult result;
    const std::size_t capacity = buffer.size();
    // Advisory only: packing goes on either way.
    result.mayExceedCapacity = request.listedBytes && *request.listedBytes > capacity;

    std::size_t offset = 0;
    std::optional<std::size_t> lastRecord;
    result.files.reserve(request.files.size());
    for (std::size_t index = 0; index < request.files.size(); ++index) {
        const PackFile& input = request.files[index];
        PackedFile& packed = result.files.emplace_back();
        packed.path = input.path;
        packed.urlName = input.urlName;

        RegularFile file;
        if (!file.Open(input.path)) {
            packed.outcome = FileOutcome::kOpenFailed;
            continue;
        }
        const std::uint64_t length = file.Size();
        packed.size = length;
        const std::string_view header = ResponseHeaderFor(input.urlName);

        // 64-bit arithmetic: a file of any size only ever makes next > capacity.
        const std::uint64_t record = offset;
        const std::uint64_t responseAt = NextAligned(record + kHeadSize + input.urlName.size() + 1);
        const std::uint64_t contentsAt = responseAt + header.size();
        const std::uint64_t next = NextAligned(contentsAt + length);
        if (next > capacity) {
            packed.outcome = FileOutcome::kTooLarge;
            continue;
        }

        // Contents first, so that a file that changed under us leaves no head.
        std::uint8_t* contents = buffer.data() + contentsAt;
        const std::size_t got = file.ReadFull(contents, static_cast<std::size_t>(length));
        if (got != length || file.HasMoreData()) {
            std::memset(contents, fill, got);
            packed.outcome = FileOutcome::kReadFailed;
            continue;
        }

        FileHead head;
        head.nameAddress = kImageBase + static_cast<std::uint32_t>(record + kHeadSize);
        head.responseAddress = kImageBase + static_cast<std::uint32_t>(responseAt);
        head.responseLength = static_cast<std::uint32_t>(header.size() + length);
        head.tagNumber = static_cast<int>(index);
        head.nextAddress = kImageBase + static_cast<std::uint32_t>(next);
        std::uint8_t* at = buffer.data() + record;
        WriteFileHead(at, head);
        std::memcpy(at + kHeadSize, input.urlName.data(), input.urlName.size());
        at[kHeadSize + input.urlName.size()] = 0;
        std::memcpy(buffer.data() + responseAt, header.data(), header.size());

        packed.outcome = FileOutcome::kPacked;
        packed.offset = static_cast<std::size_t>(record);
        packed.headerSize = header.size();
        lastRecord = static_cast<std::size_t>(record);
        offset = static_cast<std::size_t>(next);
    }
    if (lastRecord) {
        StoreLE32(buffer.data() + *lastRecord + kHeadNextAddress, 0);
    }
    result.length = offset;
    return result;
}

PackResult PackImage(const PackRequest& request, std::size_t capacity) {
    std::vector<std::uint8_t> image(capacity, kFillByte);
    PackResult result = PackImageInto(request, image, kFillByte);
    image.resize(result.length);
    result.image = std::move(image);
    return result;
}

}  // namespace kelvarin
