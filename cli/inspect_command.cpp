// kelvarin-cli inspect: lists and checks an image's records, and extracts them.
#include "catalog.h"
#include "commands.h"
#include "records.h"

#include "ascii.h"
#include "files.h"
#include "gzip.h"
#include "image_reader.h"
#include "paths.h"
#include "web_image.h"

#include <cstdio>
#include <iostream>
#include <string>

#include <memory>

namespace kelvarin::cli {

namespace {

// Images are at most 128 KiB; anything far larger is not one, and reading it
// whole would only waste memory.
constexpr std::uint64_t kLargestInspected = 16u << 20;

// The largest file a gzip record is extracted to.
constexpr std::size_t kLargestExtracted = 64u << 20;

// The relative path a URL path extracts to, or empty when it would leave the
// folder or name something else than a file in it: plain names after the
// leading "/", separated by "/", none of them empty, "." or "..", no
// backslashes, and none that the system takes for a device or a stream
// (IsReservedFileName: CON, NUL.txt, a:b on Windows).
std::string SafeExtractName(std::string_view path) {
    if (path.size() < 2 || path.front() != '/' || path.find('\\') != std::string_view::npos) {
        return {};
    }
    std::string_view rest = path.substr(1);
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == ".." || IsReservedFileName(part)) {
            return {};
        }
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (slash != std::string_view::npos && rest.empty()) {
            return {};  // a name ending in "/" names no file
        }
    }
    return std::string(path.substr(1));
}

std::span<const std::uint8_t> BytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool IsGzip(const ImageRecord& record) {
    return record.contentEncoding == "gzip";
}

// The file a record holds: its contents, decompressed when stored with gzip.
std::optional<std::string> FileOf(const ImageRecord& record) {
    if (!IsGzip(record)) {
        return std::string(record.contents);
    }
    std::optional<std::vector<std::uint8_t>> plain =
        Gunzip(BytesOf(record.contents), kLargestExtracted);
    if (!plain) {
        return std::nullopt;
    }
    return std::string(plain->begin(), plain->end());
}

void SayError(const std::string& text) {
    std::cerr << "kelvarin-cli: " << text << '\n';
}

bool Extract(const ImageWalk& walk, const std::string& dir, const MessageCatalog& catalog) {
    if (!MakeFolders(dir)) {
        SayError(catalog.Text(MessageId::kFolderNotCreated, {dir}));
        return false;
    }
    bool ok = true;
    for (const ImageRecord& record : walk.records) {
        // The device serves the first record of a path: a later one with the
        // same path is never seen, so it is not written over the first.
        const ImageRecord* served = FindRecord(walk, record.path);
        if (served != &record) {
            SayError(catalog.Text(MessageId::kExtractSkipped,
                                  {record.path, std::to_string(record.offset),
                                   std::to_string(served->offset)}));
            continue;
        }
        std::string name = SafeExtractName(record.path);
        if (name.empty()) {
            SayError(catalog.Text(MessageId::kExtractRefused, {record.path, dir}));
            ok = false;
            continue;
        }
        const std::optional<std::string> file = FileOf(record);
        if (!file) {
            SayError(catalog.Text(MessageId::kGzipBroken, {record.path}));
            ok = false;
            continue;
        }
        const std::string target = dir + "/" + name;
        const std::size_t slash = target.find_last_of('/');
        std::string error;
        if (!MakeFolders(target.substr(0, slash)) || !WriteWholeFile(target, *file, &error)) {
            SayError(catalog.Text(MessageId::kFileNotWritten, {target, error}));
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int RunInspect(const std::string& imagePath, const std::string& extractDir) {
    const MessageCatalog catalog(LanguageFromEnvironment());
    bool tooLarge = false;
    const std::optional<std::string> read =
        ReadRegularFile(imagePath, kLargestInspected, &tooLarge);
    if (tooLarge) {
        SayError(catalog.Text(MessageId::kImageFarTooLarge, {imagePath}));
        return kExitUsage;  // it cannot be read as one
    }
    if (!read) {
        SayError(catalog.Text(MessageId::kImageUnreadable, {imagePath}));
        return kExitUsage;
    }
    const std::string& bytes = *read;
    // Larger than the memory it is for: no device could hold it, whatever
    // its records (send --image refuses it the same way).
    if (bytes.size() > kImageCapacity) {
        SayError(catalog.Text(MessageId::kImageLargerThanMemory,
                              {imagePath, std::to_string(bytes.size()),
                               std::to_string(kImageCapacity)}));
        return kExitUsage;
    }

    ImageWalk walk = ReadImage(bytes);
    PrintRecords(walk);
    if (!walk.ok) {
        SayError(catalog.Text(MessageId::kImageBroken, {imagePath, catalog.ImageErrorText(walk.error)}));
        return kExitFailed;
    }
    std::printf("%s\n", catalog.Text(MessageId::kImageSound, {std::to_string(walk.records.size()),
                                                              std::to_string(bytes.size())})
                           .c_str());
    std::fflush(stdout);
    if (!extractDir.empty() && !Extract(walk, extractDir, catalog)) {
        return kExitFailed;
    }
    return kExitOk;
}

Command AddInspectCommand(CLI::App& app) {
    auto image = std::make_shared<std::string>();
    auto extractDir = std::make_shared<std::string>();
    CLI::App* inspect = app.add_subcommand("inspect", "List and check the records of an image");
    inspect->add_option("image", *image, "Image file")->required();
    inspect->add_option("--extract", *extractDir,
                        "Write each file's contents under this folder, by its URL path");
    return {inspect, [image, extractDir] { return RunInspect(*image, *extractDir); }};
}

}  // namespace kelvarin::cli
