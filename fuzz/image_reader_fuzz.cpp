// Fuzzes the image reader: any bytes as an image must walk safely, every
// record it returns must lie inside the image, and each must start after the
// head before it (so a walk is at most size / 32 records).
#include "image_reader.h"
#include "web_image.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view image(reinterpret_cast<const char*>(data), size);
    kelvarin::ImageWalk walk = kelvarin::ReadImage(image);
    std::size_t previous = 0;
    for (std::size_t i = 0; i < walk.records.size(); ++i) {
        const kelvarin::ImageRecord& record = walk.records[i];
        const char* begin = image.data();
        const char* end = begin + image.size();
        bool inside = record.response.data() >= begin &&
                      record.response.data() + record.response.size() <= end &&
                      record.path.data() >= begin && record.path.data() + record.path.size() < end;
        bool forwards = i == 0 || record.offset >= previous + kelvarin::kHeadSize;
        if (!inside || !forwards) {
            std::abort();
        }
        previous = record.offset;
    }
    if (walk.records.size() > size / kelvarin::kHeadSize) {
        std::abort();
    }
    return 0;
}
