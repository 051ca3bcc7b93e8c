// Where the image of a command comes from: files packed with the file list's
// rules, or an image file checked before use.
#include "catalog.h"
#include "commands.h"
#include "file_list.h"
#include "files.h"
#include "image_file.h"
#include "site_folder.h"

#include <iostream>

namespace kelvarin::cli {

namespace {

// Adds files to list with the list's rules; a path given twice is listed
// once. Returns the files that did not fit, in order.
std::vector<std::string> FillFileList(const std::vector<std::string>& files, FileListModel& list) {
    std::vector<std::string> leftOut;
    for (const std::string& path : files) {
        if (!list.FindFile(path) && !list.AddFile(path)) {
            leftOut.push_back(path);
        }
    }
    return leftOut;
}

void SayError(const std::string& text) {
    std::cerr << "kelvarin-cli: " << text << '\n';
}

}  // namespace

std::optional<SourceFiles> ReadSource(const PackSource& source) {
    const MessageCatalog catalog(LanguageFromEnvironment());
    PackOptions options;
    options.contentTypes = source.contentTypes;
    options.gzip = source.gzip;
    options.siteRoot = source.site.empty() ? source.root : source.site;
    if (!source.root.empty() && !IsReadableFolder(source.root)) {
        SayError(catalog.Text(MessageId::kNotAFolder, {"--root " + source.root}));
        return std::nullopt;
    }
    std::vector<std::string> files = source.files;
    if (!source.site.empty()) {
        std::optional<SiteListing> found = SiteFiles(source.site);
        if (!found) {
            SayError(catalog.Text(MessageId::kNotAFolder, {"--site " + source.site}));
            return std::nullopt;
        }
        // What a static web server would not serve either is named, not
        // counted against the site: the image holds what the server serves.
        for (const SkippedEntry& skipped : found->skipped) {
            SayError(catalog.SiteSkippedLine(skipped));
        }
        if (found->files.empty()) {
            SayError(catalog.Text(MessageId::kNoFilesInFolder, {"--site " + source.site}));
            return std::nullopt;
        }
        files = std::move(found->files);
    }
    FileListModel list;
    SourceFiles result;
    std::vector<std::string> leftOut = FillFileList(files, list);
    result.request = {PackFilesFor(list.FilePaths(), options), list.ListedBytes(), options,
                      std::move(leftOut)};
    return result;
}

bool OverwritesInput(const std::string& option, const std::string& output,
                     const std::vector<PackFile>& files) {
    for (const PackFile& file : files) {
        if (IsSameFile(output, file.path)) {
            SayError(MessageCatalog(LanguageFromEnvironment())
                         .Text(MessageId::kOverwritesInput, {option, output}));
            return true;
        }
    }
    return false;
}

std::optional<PreparedImage> PrepareImage(const ImageSource& source) {
    PreparedImage prepared;
    if (!source.image.empty()) {
        const ImageFile file = LoadImageFile(source.image);
        if (file.fault != ImageFileFault::kNone) {
            SayError(MessageCatalog(LanguageFromEnvironment()).ImageFileLine(source.image, file));
            return std::nullopt;
        }
        prepared.bytes.assign(file.bytes.begin(), file.bytes.end());
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
    prepared.leftOut.insert(prepared.leftOut.end(), prepared.pack->leftOut.begin(),
                            prepared.pack->leftOut.end());
    return prepared;
}

}  // namespace kelvarin::cli
