// The packer: one record per readable file, read straight into its place.
#include "packer.h"

#include "content_types.h"
#include "files.h"
#include "gzip.h"
#include "paths.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

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
    return "/" + AnsiSpelling(BaseName(path));
}

namespace {

// A compressible file larger than this is not read for compressing: nothing
// of that size belongs in a 128 KiB image.
constexpr std::uint64_t kLargestCompressedSource = 64u << 20;

// path made absolute, its "." and ".." parts removed, no trailing separator.
std::filesystem::path Normalised(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(path), ec);
    if (ec) {
        return {};
    }
    absolute = absolute.lexically_normal();
    if (absolute.filename().empty() && absolute.has_parent_path() &&
        absolute != absolute.root_path()) {
        absolute = absolute.parent_path();
    }
    return absolute;
}

// The type a file's header names: by extension with content types on, else
// the default format's two (which ResponseHeader spells as kHtmlHeader and
// kOctetHeader, byte for byte).
std::string_view HeaderTypeFor(const PackOptions& options, std::string_view urlName) {
    if (options.contentTypes) {
        return ContentTypeOf(urlName);
    }
    return IsHtmlName(urlName) ? std::string_view("text/html") : kDefaultContentType;
}

}  // namespace

std::string UrlNameBelow(const std::string& path, const std::string& root) {
    const std::string baseName = "/" + BaseName(path);
    if (root.empty()) {
        return baseName;
    }
    const std::filesystem::path file = Normalised(path);
    const std::filesystem::path base = Normalised(root);
    if (file.empty() || base.empty()) {
        return baseName;
    }
    const std::filesystem::path relative = file.lexically_relative(base);
    if (relative.empty() || *relative.begin() == ".." || *relative.begin() == "." ||
        relative.is_absolute()) {
        return baseName;
    }
    return "/" + GenericUtf8FromPath(relative);
}

std::vector<PackFile> PackFilesFor(const std::vector<std::string>& paths,
                                   const PackOptions& options) {
    std::vector<PackFile> files;
    files.reserve(paths.size());
    for (const std::string& path : paths) {
        files.push_back(
            {path, options.Any() ? UrlNameBelow(path, options.siteRoot) : UrlName(path)});
    }
    return files;
}

PackResult PackImageInto(const PackRequest& request, std::span<std::uint8_t> buffer,
                         std::uint8_t fill) {
    PackResult result;
    result.options = request.options;
    result.leftOut = request.leftOut;
    result.capacity = buffer.size();
    const PackOptions& options = request.options;
    const std::size_t capacity = buffer.size();
    std::uint64_t storedTotal = 0;

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
        packed.storedSize = length;
        const std::string_view type = ContentTypeOf(input.urlName);

        // A compressible file is read whole first: its stored size is known
        // only once it has been compressed.
        std::vector<std::uint8_t> stored;
        const bool compress =
            options.gzip && IsCompressibleType(type) && length <= kLargestCompressedSource;
        if (compress) {
            stored.resize(static_cast<std::size_t>(length));
            if (file.ReadFull(stored.data(), stored.size()) != length || file.HasMoreData()) {
                packed.outcome = FileOutcome::kReadFailed;
                packed.storedSize = 0;
                continue;
            }
            std::optional<std::vector<std::uint8_t>> gzipped = GzipBest(stored);
            if (gzipped && gzipped->size() < stored.size()) {
                stored = std::move(*gzipped);
                packed.gzip = true;
                packed.storedSize = stored.size();
            }
        }
        storedTotal += packed.storedSize;
        const std::string_view headerType = HeaderTypeFor(options, input.urlName);
        const std::string header = ResponseHeader(headerType, packed.gzip);

        // 64-bit arithmetic: a file of any size only ever makes next > capacity.
        const std::uint64_t record = offset;
        const std::uint64_t responseAt = NextAligned(record + kHeadSize + input.urlName.size() + 1);
        const std::uint64_t contentsAt = responseAt + header.size();
        const std::uint64_t next = NextAligned(contentsAt + packed.storedSize);
        packed.recordSize = next - record;
        if (next > capacity) {
            packed.outcome = FileOutcome::kTooLarge;
            continue;
        }

        std::uint8_t* contents = buffer.data() + contentsAt;
        if (compress) {
            std::memcpy(contents, stored.data(), stored.size());
        } else {
            // Contents first, straight into place, so that a file that
            // changed under us leaves no head.
            const std::size_t got = file.ReadFull(contents, static_cast<std::size_t>(length));
            if (got != length || file.HasMoreData()) {
                std::memset(contents, fill, got);
                packed.outcome = FileOutcome::kReadFailed;
                continue;
            }
        }

        FileHead head;
        head.nameAddress = kImageBase + static_cast<std::uint32_t>(record + kHeadSize);
        head.responseAddress = kImageBase + static_cast<std::uint32_t>(responseAt);
        head.responseLength = static_cast<std::uint32_t>(header.size() + packed.storedSize);
        head.tagNumber = static_cast<int>(index);
        head.nextAddress = kImageBase + static_cast<std::uint32_t>(next);
        std::uint8_t* at = buffer.data() + record;
        WriteFileHead(at, head);
        std::memcpy(at + kHeadSize, input.urlName.data(), input.urlName.size());
        at[kHeadSize + input.urlName.size()] = 0;
        std::memcpy(buffer.data() + responseAt, header.data(), header.size());

        packed.outcome = FileOutcome::kPacked;
        packed.contentType = headerType;
        packed.offset = static_cast<std::size_t>(record);
        lastRecord = static_cast<std::size_t>(record);
        offset = static_cast<std::size_t>(next);
        // The device serves the first record of a name; a later one is dead.
        for (std::size_t earlier = 0; earlier < index; ++earlier) {
            const PackedFile& other = result.files[earlier];
            if (other.outcome == FileOutcome::kPacked && other.urlName == input.urlName) {
                packed.duplicateOf = static_cast<int>(earlier);
                break;
            }
        }
    }
    // Advisory only: packing goes on either way.
    result.mayExceedCapacity = options.gzip
                                   ? storedTotal > capacity
                                   : (request.listedBytes && *request.listedBytes > capacity);
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
