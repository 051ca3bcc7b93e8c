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

// Walks folder (named relative below the site root) into listing. ancestors
// holds the real paths of the folders being walked, the site root first, so
// a link back to one of them is seen and not followed.
void Walk(const fs::path& folder, const std::string& relative, std::vector<fs::path>& ancestors,
          SiteListing& listing, std::vector<std::string>& files) {
    std::error_code ec;
    fs::directory_iterator entries(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        listing.skipped.push_back({relative, SiteSkip::kUnreadableFolder});
        return;
    }
    for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
        const fs::directory_entry& entry = *entries;
        const std::string name = Utf8FromPath(entry.path().filename());
        if (name.empty() || name.front() == '.') {
            continue;
        }
        const std::string path = relative.empty() ? name : relative + "/" + name;
        std::error_code statusError;
        const fs::file_status status = entry.status(statusError);  // through links
        if (status.type() == fs::file_type::not_found ||
            (statusError && entry.is_symlink(statusError))) {
            listing.skipped.push_back({path, SiteSkip::kDanglingLink});
        } else if (fs::is_directory(status)) {
            std::error_code realError;
            const fs::path real = fs::canonical(entry.path(), realError);
            if (realError) {
                listing.skipped.push_back({path, SiteSkip::kUnreadableFolder});
            } else if (std::find(ancestors.begin(), ancestors.end(), real) != ancestors.end()) {
                listing.skipped.push_back({path, SiteSkip::kLinkLoop});
            } else {
                ancestors.push_back(real);
                Walk(entry.path(), path, ancestors, listing, files);
                ancestors.pop_back();
            }
        } else if (fs::is_regular_file(status)) {
            files.push_back(path);
        } else {
            listing.skipped.push_back({path, SiteSkip::kNotAFile});
        }
    }
    if (ec) {
        listing.skipped.push_back({relative, SiteSkip::kUnreadableFolder});
    }
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

std::optional<SiteListing> SiteFiles(const std::string& folder) {
    if (!IsReadableFolder(folder)) {
        return std::nullopt;
    }
    std::error_code ec;
    const fs::path root = PathFromUtf8(folder);
    std::vector<fs::path> ancestors = {fs::canonical(root, ec)};
    if (ec) {
        return std::nullopt;
    }
    SiteListing listing;
    std::vector<std::string> relatives;
    Walk(root, "", ancestors, listing, relatives);
    std::sort(relatives.begin(), relatives.end(),
              [](const std::string& a, const std::string& b) { return SiteOrder(a, b); });
    std::sort(listing.skipped.begin(), listing.skipped.end(),
              [](const SkippedEntry& a, const SkippedEntry& b) {
                  return a.relativePath < b.relativePath;
              });
    std::string base = folder;
    while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) {
        base.pop_back();
    }
    listing.files.reserve(relatives.size());
    for (const std::string& relative : relatives) {
        listing.files.push_back(base == "/" ? "/" + relative : base + "/" + relative);
    }
    return listing;
}

}  // namespace kelvarin
