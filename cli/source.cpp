// Where the image of a command comes from: files packed with the file list's
// rules, or an image file checked before use.
#include "catalog.h"
#include "commands.h"
#include "file_list.h"
#include "files.h"
#include "image_reader.h"
#include "site_folder.h"

#include <iostream>

namespace kelvarin::cli {

namespace {

// An image file much larger than the image memory is not read at all.
constexpr std::uint64_t kLargestImageFile = 16u << 20;

// Adds files to list with the list's rules; a path given twice is listed
// once. Says on stderr which files did not fit and returns them.
std::vector<std::string> FillFileList(const std::vector<std::string>& files, FileListModel& list) {
    std::vector<std::string> dropped;
    for (const std::string& path : files) {
        if (!list.FindFile(path) && !list.AddFile(path)) {
            std::cerr << "kelvarin-cli: " << path << ": not packed, the list holds at most "
                      << kMaxFiles << " files\n";
            dropped.push_back(path);
        }
    }
    return dropped;
}

// The bytes of the image file at path when they can be sent: readable, no
// larger than the image memory, of even length and a sound chain of at least
// one record.
// Says on stderr what is wrong otherwise.
std::optional<std::string> LoadImage(const std::string& path) {
    bool tooLarge = false;
    std::optional<std::string> bytes = ReadRegularFile(path, kLargestImageFile, &tooLarge);
    if (!bytes) {
        std::cerr << "kelvarin-cli: cannot read image " << path
                  << (tooLarge ? ": far too large to be an image" : "") << '\n';
        return std::nullopt;
    }
    if (bytes->size() > kImageCapacity) {
        std::cerr << "kelvarin-cli: " << path << " is " << bytes->size() << " bytes, more than the "
                  << kImageCapacity << " bytes of the image memory\n";
        return std::nullopt;
    }
    if (bytes->size() % 2 != 0) {
        std::cerr << "kelvarin-cli: " << path << " is " << bytes->size()
                  << " bytes, an odd length: records are written as 16-bit words\n";
        return std::nullopt;
    }
    const ImageWalk walk = ReadImage(*bytes);
    if (!walk.ok) {
        std::cerr << "kelvarin-cli: " << path << ": broken image at " << walk.error.Message()
                  << '\n';
        return std::nullopt;
    }
    if (walk.records.empty()) {
        std::cerr << "kelvarin-cli: " << path << " holds no records: no image to send or compare\n";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::optional<SourceFiles> ReadSource(const PackSource& source) {
    PackOptions options;
    options.contentTypes = source.contentTypes;
    options.gzip = source.gzip;
    options.siteRoot = source.site.empty() ? source.root : source.site;
    if (!source.root.empty() && !IsReadableFolder(source.root)) {
        std::cerr << "kelvarin-cli: --root " << source.root << ": not a folder that can be read\n";
        return std::nullopt;
    }
    std::vector<std::string> files = source.files;
    std::vector<std::string> unlisted;
    if (!source.site.empty()) {
        std::optional<SiteListing> found = SiteFiles(source.site);
        if (!found) {
            std::cerr << "kelvarin-cli: --site " << source.site
                      << ": not a folder that can be read\n";
            return std::nullopt;
        }
        const MessageCatalog english(Language::kEnglish);
        std::string base = source.site;
        while (base.size() > 1 && base.back() == '/') {
            base.pop_back();
        }
        for (const SkippedEntry& skipped : found->skipped) {
            std::cerr << "kelvarin-cli: " << english.SiteSkippedLine(skipped) << '\n';
            unlisted.push_back((base == "/" ? "" : base) + "/" + skipped.relativePath);
        }
        if (found->files.empty()) {
            std::cerr << "kelvarin-cli: --site " << source.site << ": no files in it\n";
            return std::nullopt;
        }
        files = std::move(found->files);
    }
    FileListModel list;
    SourceFiles result;
    result.unlisted = std::move(unlisted);
    const std::vector<std::string> dropped = FillFileList(files, list);
    result.unlisted.insert(result.unlisted.end(), dropped.begin(), dropped.end());
    result.request = {PackFilesFor(list.FilePaths(), options), list.ListedBytes(), options};
    return result;
}

bool OverwritesInput(const std::string& option, const std::string& output,
                     const std::vector<PackFile>& files) {
    for (const PackFile& file : files) {
        if (IsSameFile(output, file.path)) {
            std::cerr << "kelvarin-cli: " << option << " " << output
                      << " is one of the files to pack: refusing to overwrite it\n";
            return true;
        }
    }
    return false;
}

std::optional<PreparedImage> PrepareImage(const ImageSource& source) {
    PreparedImage prepared;
    if (!source.image.empty()) {
        const std::optional<std::string> bytes = LoadImage(source.image);
        if (!bytes) {
            return std::nullopt;
        }
        prepared.bytes.assign(bytes->begin(), bytes->end());
        return prepared;
    }
    const std::optional<SourceFiles> files = ReadSource(source.files);
    if (!files) {
        return std::nullopt;
    }
    prepared.pack = PackImage(files->request);
    prepared.bytes = prepared.pack->image;
    for (const PackedFile& file : prepared.pack->files) {
        if (file.outcome != FileOutcome::kPacked) {
            prepared.leftOut.push_back(file.path);
        }
    }
    prepared.leftOut.insert(prepared.leftOut.end(), files->unlisted.begin(), files->unlisted.end());
    return prepared;
}

}  // namespace kelvarin::cli
