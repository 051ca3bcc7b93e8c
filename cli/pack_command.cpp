// kelvarin-cli pack: the packer from the command line, and the file source
// that pack and send share.
#include "catalog.h"
#include "commands.h"
#include "files.h"
#include "packer.h"
#include "site_folder.h"

#include <iostream>

namespace kelvarin::cli {

namespace {

// Adds files to list with the list's rules; a path given twice is listed
// once. Says on stderr which files did not fit; false when any did not.
bool FillFileList(const std::vector<std::string>& files, FileListModel& list) {
    bool all = true;
    for (const std::string& path : files) {
        if (!list.FindFile(path) && !list.AddFile(path)) {
            std::cerr << "kelvarin-cli: " << path << ": not packed, the list holds at most "
                      << kMaxFiles << " files\n";
            all = false;
        }
    }
    return all;
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
    if (!source.site.empty()) {
        std::optional<std::vector<std::string>> found = SiteFiles(source.site);
        if (!found) {
            std::cerr << "kelvarin-cli: --site " << source.site
                      << ": not a folder that can be read\n";
            return std::nullopt;
        }
        if (found->empty()) {
            std::cerr << "kelvarin-cli: --site " << source.site << ": no files in it\n";
            return std::nullopt;
        }
        files = std::move(*found);
    }
    FileListModel list;
    SourceFiles result;
    result.dropped = !FillFileList(files, list);
    result.request = {PackFilesFor(list.FilePaths(), options.siteRoot), list.ListedBytes(),
                      options};
    return result;
}

int RunPack(const std::string& output, const PackSource& source) {
    const std::optional<SourceFiles> input = ReadSource(source);
    if (!input) {
        return kExitUsage;
    }
    const PackResult result = PackImage(input->request);
    for (const std::string& line : MessageCatalog().PackLines(result)) {
        std::cout << line << '\n';
    }
    std::cout.flush();

    std::string error;
    const std::string_view bytes(reinterpret_cast<const char*>(result.image.data()),
                                 result.image.size());
    if (!WriteWholeFile(output, bytes, &error)) {
        std::cerr << "kelvarin-cli: cannot write image " << output << ": " << error << '\n';
        return kExitUsage;
    }
    return (result.Skipped() > 0 || input->dropped) ? kExitFailed : kExitOk;
}

}  // namespace kelvarin::cli
