// kelvarin-cli inspect: lists and checks an image's records, and extracts them.
#include "commands.h"

#include "files.h"
#include "image_reader.h"
#include "web_image.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace kelvarin::cli {

namespace {

// Images are at most 128 KiB; anything far larger is not one, and reading it
// whole would only waste memory.
constexpr std::uint64_t kLargestInspected = 16u << 20;

// The file name a URL path extracts to, or empty when it would leave the
// folder (or name nothing): one plain component after the leading "/".
std::string SafeExtractName(std::string_view path) {
    if (path.empty() || path.front() != '/') {
        return {};
    }
    std::string_view name = path.substr(1);
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\") != std::string_view::npos) {
        return {};
    }
    return std::string(name);
}

bool Extract(const ImageWalk& walk, const std::string& dir) {
    if (!MakeFolders(dir)) {
        std::cerr << "kelvarin-cli: cannot create folder " << dir << '\n';
        return false;
    }
    bool ok = true;
    for (const ImageRecord& record : walk.records) {
        std::string name = SafeExtractName(record.path);
        if (name.empty()) {
            std::cerr << "kelvarin-cli: refusing to extract \"" << record.path
                      << "\": the name would leave " << dir << '\n';
            ok = false;
            continue;
        }
        const std::string target = dir + "/" + name;
        std::string error;
        if (!WriteWholeFile(target, record.contents, &error)) {
            std::cerr << "kelvarin-cli: cannot write " << target << ": " << error << '\n';
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int RunInspect(const std::string& imagePath, const std::string& extractDir) {
    bool tooLarge = false;
    const std::optional<std::string> read =
        ReadRegularFile(imagePath, kLargestInspected, &tooLarge);
    if (tooLarge) {
        std::cerr << "kelvarin-cli: " << imagePath << " is too large to be an image\n";
        return kExitFailed;
    }
    if (!read) {
        std::cerr << "kelvarin-cli: cannot open image " << imagePath << '\n';
        return kExitUsage;
    }
    const std::string& bytes = *read;

    ImageWalk walk = ReadImage(bytes);
    std::printf("%-12s %-24s %-26s %8s  %s\n", "tag", "path", "content type", "length", "address");
    for (const ImageRecord& record : walk.records) {
        std::string path(record.path);
        std::printf("%-12s %-24s %-26s %8zu  0x%06zX\n", record.tag.c_str(), path.c_str(),
                    record.contentType.c_str(), record.contents.size(),
                    static_cast<std::size_t>(kImageBase) + record.offset);
    }
    std::fflush(stdout);
    if (!walk.ok) {
        std::cerr << "kelvarin-cli: " << imagePath << ": broken image at " << walk.error.Message()
                  << '\n';
        return kExitFailed;
    }
    std::printf("%zu records, %zu bytes, chain sound\n", walk.records.size(), bytes.size());
    std::fflush(stdout);
    if (!extractDir.empty() && !Extract(walk, extractDir)) {
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace kelvarin::cli
