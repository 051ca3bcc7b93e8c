// Listing a site folder.
#include "site_folder.h"

#include "paths.h"

#include <algorithm>
#include <filesystem>

namespace kelvarin {

namespace fs = std::filesystem;

bool IsReadableFolder(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !fs::is_directory(PathFromUtf8(path), ec)) {
        return false;
    }
    fs::directory_iterator probe(PathFromUtf8(path), ec);
    return !ec;
}

std::optional<std::vector<std::string>> SiteFiles(const std::string& folder) {
    if (!IsReadableFolder(folder)) {
        return std::nullopt;
    }
    std::vector<std::string> relatives;
    std::error_code ec;
    const fs::path root = PathFromUtf8(folder);
    fs::recursive_directory_iterator walk(root, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
        const fs::directory_entry& entry = *walk;
        const std::string name = Utf8FromPath(entry.path().filename());
        if (!name.empty() && name.front() == '.') {
            if (entry.is_directory(ec)) {
                walk.disable_recursion_pending();
            }
            continue;
        }
        if (entry.is_regular_file(ec)) {
            relatives.push_back(GenericUtf8FromPath(entry.path().lexically_relative(root)));
        }
    }
    if (ec) {
        return std::nullopt;
    }
    std::sort(relatives.begin(), relatives.end());
    std::string base = folder;
    while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) {
        base.pop_back();
    }
    std::vector<std::string> paths;
    paths.reserve(relatives.size());
    for (const std::string& relative : relatives) {
        paths.push_back(base == "/" ? "/" + relative : base + "/" + relative);
    }
    return paths;
}

}  // namespace kelvarin
