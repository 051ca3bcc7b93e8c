// Listing a site folder.
#include "site_folder.h"

#include "paths.h"
#include "web_image.h"

#include <algorithm>
#include <filesystem>

namespace kelvarin {

namespace fs = std::filesystem;

namespace {

// Which group a file of a site is packed in: the index page of the site
// itself (the page "/" serves), then every other folder's index page, then
// the other HTML pages, then everything else, so that a site too large for
// the image keeps the pages that make it usable.
int SiteGroup(std::string_view relative) {
    const std::size_t slash = relative.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? relative : relative.substr(slash + 1);
    if (name == "index.htm" || name == "index.html") {
        return slash == std::string_view::npos ? 0 : 1;
    }
    return IsHtmlName(name) ? 2 : 3;
}

}  // namespace

bool SiteOrder(std::string_view a, std::string_view b) {
    const int groupA = SiteGroup(a);
    const int groupB = SiteGroup(b);
    return groupA != groupB ? groupA < groupB : a < b;
}

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
    std::sort(relatives.begin(), relatives.end(), [](const std::string& a, const std::string& b) {
        return SiteOrder(a, b);
    });
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
