// The records table.
#include "records.h"

#include "ascii.h"
#include "gzip.h"
#include "web_image.h"

#include <cstdio>
#include <optional>

namespace kelvarin::cli {

void PrintRecords(const ImageWalk& walk) {
    std::printf("%-12s %-24s %-26s %-8s %8s %8s  %s\n", "tag", "path", "content type", "encoding",
                "length", "original", "address");
    for (const ImageRecord& record : walk.records) {
        // Every text of an image from elsewhere is printed with its control
        // characters escaped: a name must not drive the operator's terminal.
        const std::string tag = EscapeControls(record.tag);
        const std::string path = EscapeControls(record.path);
        const std::string type = EscapeControls(record.contentType);
        const std::string encoding =
            record.contentEncoding.empty() ? "-" : EscapeControls(record.contentEncoding);
        // A gzip stream states the original size in its trailer.
        std::string original = "-";
        if (record.contentEncoding == "gzip") {
            const std::optional<std::uint32_t> stated = GzipStatedSize(
                {reinterpret_cast<const std::uint8_t*>(record.contents.data()),
                 record.contents.size()});
            original = stated ? std::to_string(*stated) : "?";
        }
        std::printf("%-12s %-24s %-26s %-8s %8zu %8s  0x%06zX\n", tag.c_str(), path.c_str(),
                    type.c_str(), encoding.c_str(), record.contents.size(), original.c_str(),
                    static_cast<std::size_t>(kImageBase) + record.offset);
    }
    std::fflush(stdout);
}

}  // namespace kelvarin::cli
