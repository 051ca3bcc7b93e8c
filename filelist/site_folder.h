// The files of a web site kept in a folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// True when the file at relative path a (below a site's folder, "/" between
// folders) is packed before the one at b: the site's own index page
// (index.htm, index.html), then every other folder's index page, then the
// other HTML pages, then the rest, each group in path order (byte by byte).
bool SiteOrder(std::string_view a, std::string_view b);

// Every regular file below folder, in all its subfolders, in SiteOrder of
// the paths relative to folder ("/" between folders); files and
// folders whose name starts with '.' are skipped, and folder links are not
// followed. Each path is folder + "/" + the relative path. Nothing when
// folder is not a folder that can be read.
std::optional<std::vector<std::string>> SiteFiles(const std::string& folder);

// True when path names a folder that can be listed.
bool IsReadableFolder(const std::string& path);

}  // namespace kelvarin
