// Listing a site folder: every file below it, index pages first, hidden ones
// left out, links followed as a static web server follows them, and what is
// left out besides hidden names said.
#include "site_folder.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace kelvarin {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(SiteFolder, ListsEveryFileBelowInPathOrderSkippingHiddenOnes) {
    TempDir dir;
    for (const char* folder : {"site/css", "site/img/icons", "site/.git/objects", "site/empty"}) {
        fs::create_directories(dir.Path() + "/" + folder);
    }
    for (const char* file :
         {"site/index.htm", "site/css/main.css", "site/img/icons/a.svg", "site/img/b.png",
          "site/.htaccess", "site/.git/objects/x", "site/about.htm"}) {
        dir.Write(file, "x");
    }
    const std::string site = dir.Path() + "/site";
    const std::vector<std::string> expected = {site + "/index.htm", site + "/about.htm",
                                               site + "/css/main.css", site + "/img/b.png",
                                               site + "/img/icons/a.svg"};
    ASSERT_TRUE(SiteFiles(site));
    EXPECT_EQ(SiteFiles(site)->files, expected);
    EXPECT_EQ(SiteFiles(site + "/")->files, expected);  // the same paths, no doubled slash
    EXPECT_TRUE(SiteFiles(site)->skipped.empty());
}

TEST(SiteFolder, LinksAreFollowedAsAWebServerDoesAndWhatIsLeftOutIsNamed) {
    TempDir dir;
    fs::create_directories(dir.Path() + "/site/docs");
    fs::create_directories(dir.Path() + "/shared/fonts");
    dir.Write("site/index.htm", "x");
    dir.Write("site/docs/a.htm", "x");
    dir.Write("shared/fonts/f.woff", "x");
    dir.Write("outside.css", "x");
    const std::string site = dir.Path() + "/site";
    fs::create_directory_symlink(dir.Path() + "/shared", site + "/shared");  // a folder elsewhere
    fs::create_symlink(dir.Path() + "/outside.css", site + "/main.css");     // a file elsewhere
    fs::create_symlink(dir.Path() + "/gone.htm", site + "/old.htm");         // to nothing
    fs::create_directory_symlink(site, site + "/docs/up");                   // back to the root
    fs::create_directory_symlink(site + "/docs", site + "/docs/self");       // to itself
    ASSERT_EQ(::mkfifo((site + "/pipe").c_str(), 0600), 0);                  // not a file

    const auto listing = SiteFiles(site);
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->files,
              (std::vector<std::string>{site + "/index.htm", site + "/docs/a.htm",
                                        site + "/main.css", site + "/shared/fonts/f.woff"}));
    EXPECT_EQ(listing->skipped, (std::vector<SkippedEntry>{{"docs/self", SiteSkip::kLinkLoop},
                                                           {"docs/up", SiteSkip::kLinkLoop},
                                                           {"old.htm", SiteSkip::kDanglingLink},
                                                           {"pipe", SiteSkip::kNotAFile}}));
}

TEST(SiteFolder, PagesThatMakeASiteUsableComeFirst) {
    std::vector<std::string> paths = {"_static/basic.css", "about.html",    "faq/index.html",
                                      "_static/index.html", "index.html",  "a/b/page.HTM",
                                      "genindex.html",     "index.htm",     "zz.js",
                                      "faq/index.htm",     "img/index.png", "Index.html"};
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return SiteOrder(a, b);
    });
    const std::vector<std::string> expected = {
        "index.htm",      "index.html",     // the site's own, as "/" serves them
        "_static/index.html", "faq/index.htm", "faq/index.html",  // other folders' index pages
        "Index.html",     "a/b/page.HTM",   "about.html", "genindex.html",  // other HTML
        "_static/basic.css", "img/index.png", "zz.js"};  // the rest
    EXPECT_EQ(paths, expected);
}

TEST(SiteFolder, OnlyAReadableFolderIsASite) {
    TempDir dir;
    EXPECT_EQ(SiteFiles(dir.Path() + "/missing"), std::nullopt);
    EXPECT_EQ(SiteFiles(dir.Write("file.htm", "x")), std::nullopt);
    EXPECT_EQ(SiteFiles(""), std::nullopt);
    EXPECT_EQ(SiteFiles(dir.Path())->files, std::vector<std::string>{dir.Path() + "/file.htm"});
    fs::create_directory(dir.Path() + "/empty");
    EXPECT_EQ(SiteFiles(dir.Path() + "/empty")->files, std::vector<std::string>{});
    EXPECT_TRUE(IsReadableFolder(dir.Path()));
    EXPECT_FALSE(IsReadableFolder(dir.Path() + "/file.htm"));
}

}  // namespace
}  // namespace kelvarin
