// The files of a web site kept in a folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvarin {

// Every regular file below folder, in all its subfolders, ordered by the
// path relative to folder (byte by byte, "/" between folders); files and
// folders whose name starts with '.' are skipped, and folder links are not
// followed. Each path is folder + "/" + the relative path. Nothing when
// folder is not a folder that can be read.
std::optional<std::vector<std::string>> SiteFiles(const std::string& folder);

// True when path names a folder that can be listed.
bool IsReadableFolder(const std::string& path);

}  // namespace kelvarin
