// The default place of the dump file.
#include "dump_file.h"

#include "files.h"
#include "user_dirs.h"

namespace kelvarin {

DumpTarget DefaultDumpTarget() {
    const std::optional<std::string> data = UserDataFolder();
    if (!data) {
        return {std::string(kUnknownDataFolder) + "/" + kAppFolderName + "/a.dat", false};
    }
    const std::string folder = *data + "/" + kAppFolderName;
    MakeFolders(folder);  // a failure shows as a dump that cannot be written
    return {folder + "/a.dat", true};
}

}  // namespace kelvarin
