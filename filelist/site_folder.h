// The files of a web site kept in a folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// Why an entry below a site folder is not one of its files.
enum class SiteSkip {
    kDanglingLink,      // a symbolic link to nothing
    kLinkLoop,          // a link to a folder it is in: following it would never end
    kNotAFile,          // a FIFO, socket or device
    kUnreadableFolder,  // a folder that cannot be listed
};

// An entry of a site folder left out, by its path relative to the folder
// ("/" between folders).
struct SkippedEntry {
    std::string relativePath;
    SiteSkip why = SiteSkip::kNotAFile;

    bool operator==(const SkippedEntry&) const = default;
};

// What a site folder holds.
struct SiteListing {
    std::vector<std::string> files;     // folder + "/" + the relative path, in order
    std::vector<SkippedEntry> skipped;  // in order of their relative paths
};

// True when the file at relative path a (below a site's folder, "/" between
// folders) is packed before the one at b: the site's own index page
// (index.htm, index.html), then every other folder's index page, then the
// other HTML pages, then the rest, each group in path order (byte by byte).
bool SiteOrder(std::string_view a, std::string_view b);

// Every regular file below folder, in all its subfolders, in SiteOrder of
// the paths relative to folder ("/" between folders), as a static web
// server finds them: links to files and to folders are followed (a file
// below a linked folder is named by the link's path), a link back to a
// folder it is in is not. Files and folders whose name starts with '.' are
// left out without a word; anything else left out (a dangling link, a link
// loop, a FIFO, a folder that cannot be read) is listed as skipped. Nothing
// when folder is not a folder that can be read.
std::optional<SiteListing> SiteFiles(const std::string& folder);

// True when path names a folder that can be listed.
bool IsReadableFolder(const std::string& path);

}  // namespace kelvarin
