// Listing a site folder: every file below it, in path order, hidden ones left out.
#include "site_folder.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace kelvarin {
namespace {

using test::TempDir;

TEST(SiteFolder, ListsEveryFileBelowInPathOrderSkippingHiddenOnes) {
    TempDir dir;
    for (const char* folder : {"site/css", "site/img/icons", "site/.git/objects", "site/empty"}) {
        std::filesystem::create_directories(dir.Path() + "/" + folder);
    }
    for (const char* file :
         {"site/index.htm", "site/css/main.css", "site/img/icons/a.svg", "site/img/b.png",
          "site/.htaccess", "site/.git/objects/x", "site/about.htm"}) {
        dir.Write(file, "x");
    }
    ASSERT_EQ(::mkfifo((dir.Path() + "/site/pipe").c_str(), 0600), 0);  // not a regular file
    std::filesystem::create_directory_symlink(dir.Path() + "/site", dir.Path() + "/site/loop");

    const std::string site = dir.Path() + "/site";
    const std::vector<std::string> expected = {site + "/index.htm", site + "/about.htm",
                                               site + "/css/main.css", site + "/img/b.png",
                                               site + "/img/icons/a.svg"};
    EXPECT_EQ(SiteFiles(site), expected);
    EXPECT_EQ(SiteFiles(site + "/"), expected);  // the same paths, no doubled slash
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
    EXPECT_EQ(SiteFiles(dir.Path()), std::vector<std::string>{dir.Path() + "/file.htm"});
    std::filesystem::create_directory(dir.Path() + "/empty");
    EXPECT_EQ(SiteFiles(dir.Path() + "/empty"), std::vector<std::string>{});
    EXPECT_TRUE(IsReadableFolder(dir.Path()));
    EXPECT_FALSE(IsReadableFolder(dir.Path() + "/file.htm"));
}

}  // namespace
}  // namespace kelvarin
