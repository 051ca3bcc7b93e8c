// Reading and checking an image file.
#include "image_file.h"

#include "files.h"
#include "web_image.h"

namespace kelvarin {

namespace {

// An image file much larger than the image memory is not read at all.
constexpr std::uint64_t kLargestImageFile = 16u << 20;

}  // namespace

ImageFile LoadImageFile(const std::string& path) {
    ImageFile file;
    bool tooLarge = false;
    std::optional<std::string> bytes = ReadRegularFile(path, kLargestImageFile, &tooLarge);
    if (!bytes) {
        file.fault = tooLarge ? ImageFileFault::kFarTooLarge : ImageFileFault::kUnreadable;
        return file;
    }
    file.size = bytes->size();
    if (bytes->size() > kImageCapacity) {
        file.fault = ImageFileFault::kLargerThanMemory;
        return file;
    }
    if (bytes->size() % 2 != 0) {
        file.fault = ImageFileFault::kOddLength;
        return file;
    }
    const ImageWalk walk = ReadImage(*bytes);
    if (!walk.ok) {
        file.fault = ImageFileFault::kBroken;
        file.error = walk.error;
        return file;
    }
    if (walk.records.empty()) {
        file.fault = ImageFileFault::kEmpty;
        return file;
    }
    file.fault = ImageFileFault::kNone;
    file.bytes = std::move(*bytes);
    return file;
}

}  // namespace kelvarin
