// kelvarin-cli pack: the packer from the command line.
#include "catalog.h"
#include "commands.h"
#include "files.h"
#include "packer.h"

#include <iostream>

namespace kelvarin::cli {

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

int RunPack(const std::string& output, const std::vector<std::string>& files) {
    FileListModel list;
    const bool dropped = !FillFileList(files, list);

    const PackResult result = PackImage({PackFilesFor(list.FilePaths()), list.ListedBytes()});
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
    return (result.Skipped() > 0 || dropped) ? kExitFailed : kExitOk;
}

}  // namespace kelvarin::cli
