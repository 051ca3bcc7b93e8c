// What differs between systems, through the layers that hide it: files and
// folders named in Chinese, site folders, the dump file's place, and the
// socket link's waits. The same test runs on Linux and, under wine, on
// Windows.
#include "dump_file.h"
#include "files.h"
#include "net.h"
#include "packer.h"
#include "paths.h"
#include "site_folder.h"
#include "socket_link.h"
#include "test_support.h"
#include "user_dirs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace kelvarin {
namespace {

using test::TempDir;
using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(Platform, FilesAndFoldersNamedInAnyLanguage) {
    TempDir dir;
    const std::string folder = dir.Path() + "/网站/样式";
    ASSERT_TRUE(MakeFolders(folder));
    const std::string page = folder + "/主页 页面.htm";
    std::string error;
    ASSERT_TRUE(WriteWholeFile(page, "<p>你好</p>", &error)) << error;
    EXPECT_EQ(MeasureFile(page), 13u);  // 3 + 2 x 3 + 4 bytes of UTF-8
    EXPECT_EQ(ReadRegularFile(page, 100), "<p>你好</p>");
    ASSERT_TRUE(WriteWholeFile(page, "<p>再见</p>", &error)) << error;
    EXPECT_EQ(ReadRegularFile(page, 100), "<p>再见</p>");
    EXPECT_FALSE(MeasureFile(folder));  // a folder is no file to pack
    EXPECT_FALSE(MeasureFile(dir.Path() + "/不存在.htm"));
    EXPECT_FALSE(WriteWholeFile(dir.Path() + "/没有/文件夹/a.dat", "x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(BaseName(page), "主页 页面.htm");
    EXPECT_EQ(Utf8FromPath(PathFromUtf8(page)), page);
}

TEST(Platform, OutputsFollowNoLinkPlantedAtTheirNames) {
    TempDir dir;
    const std::string victim = dir.Write("ca.pem", "trusted");
    const auto plant = [&](const std::string& name) {
        std::error_code error;
        std::filesystem::create_symlink(TempDir::Native(victim), TempDir::Native(dir.Path() + "/" + name),
                                        error);
        return !error;
    };
    if (!plant("out.img") || !plant("out.img.tmp") || !plant("bk.img") || !plant("bk-2.img")) {
        GTEST_SKIP() << "no symbolic links here";
    }
    std::string error;
    // The link at the output's own name is replaced; one at the name the
    // last version wrote through first is left alone.
    ASSERT_TRUE(WriteWholeFile(dir.Path() + "/out.img", "device bytes", &error)) << error;
    EXPECT_EQ(ReadRegularFile(dir.Path() + "/out.img", 100), "device bytes");
    EXPECT_FALSE(std::filesystem::is_symlink(TempDir::Native(dir.Path() + "/out.img")));
    // A backup takes the first name nothing holds.
    EXPECT_EQ(KeepNewFile(dir.Path() + "/bk", ".img", "backup", &error), dir.Path() + "/bk-3.img");
    EXPECT_EQ(ReadRegularFile(victim, 100), "trusted");
    EXPECT_TRUE(std::filesystem::is_symlink(TempDir::Native(dir.Path() + "/out.img.tmp")));
    // Nothing but the outputs was left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(TempDir::Native(dir.Path())),
                            std::filesystem::directory_iterator()),
              6);
}

TEST(Platform, WritersAtOnceNeverShareAKeptNameAndAFolderIsNoOutput) {
    TempDir dir;
    std::vector<std::optional<std::string>> kept(6);
    std::vector<std::thread> writers;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        writers.emplace_back([&, i] {
            kept[i] = KeepNewFile(dir.Path() + "/dev-502-0-STAMP", ".img", std::string(70000, char('a' + i)));
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    std::set<std::string> names;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        ASSERT_TRUE(kept[i]);
        names.insert(*kept[i]);
        EXPECT_EQ(ReadRegularFile(*kept[i], 100000), std::string(70000, char('a' + i)));
    }
    EXPECT_EQ(names.size(), kept.size());
    std::string error;
    EXPECT_FALSE(WriteWholeFile(dir.Path(), "x", &error));
    EXPECT_FALSE(error.empty());
#if !defined(_WIN32)
    // A device already there is written as it is, never replaced.
    EXPECT_TRUE(WriteWholeFile("/dev/null", "x", &error)) << error;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
#endif
}

TEST(Platform, SiteFoldersGiveUtf8UrlPaths) {
    TempDir dir;
    const std::string site = dir.Path() + "/站点";
    ASSERT_TRUE(MakeFolders(site + "/图片"));
    ASSERT_TRUE(WriteWholeFile(site + "/首页.htm", "<p>"));
    ASSERT_TRUE(WriteWholeFile(site + "/图片/标志.png", "png"));
    const auto listing = SiteFiles(site);
    ASSERT_TRUE(listing);
    const std::vector<std::string>* files = &listing->files;
    ASSERT_EQ(files->size(), 2u);
    PackOptions options;
    options.siteRoot = site;
    const std::vector<PackFile> named = PackFilesFor(*files, options);
    std::vector<std::string> urls = {named[0].urlName, named[1].urlName};
    std::sort(urls.begin(), urls.end());
    EXPECT_EQ(urls, (std::vector<std::string>{"/图片/标志.png", "/首页.htm"}));
    // The packed image names them so, and holds their bytes.
    const PackResult packed = PackImage({named, std::nullopt, options});
    EXPECT_EQ(packed.Packed(), 2);
    // Plain ASCII names are spelt the same in every code page.
    EXPECT_EQ(UrlName(site + "/index.htm"), "/index.htm");
}

TEST(Platform, NamesWindowsTakesForDevicesOrStreamsAreKnownEverywhere) {
    for (const char* name : {"CON", "con", "NUL.txt", "nul.tar.gz", "Com1", "COM9.log", "lpt0",
                             "AUX", "PRN.htm", "CONIN$", "conout$", "NUL .txt", "COM\xC2\xB9",
                             "a:b", "index.htm:secret", "c:", "trailing.", "trailing "}) {
        EXPECT_TRUE(IsWindowsReservedName(name)) << name;
    }
    for (const char* name : {"index.htm", "CONFIG", "console.js", "nul_", "COM10", "LPT",
                             "com1x.htm", "aux-data.json", "站点.htm", ".htaccess"}) {
        EXPECT_FALSE(IsWindowsReservedName(name)) << name;
    }
}

TEST(Platform, TheDumpFileLivesInTheUserDataFolder) {
    TempDir dir;
    test::SetEnv("XDG_DATA_HOME", dir.Path().c_str());
    test::SetEnv("LOCALAPPDATA", dir.Path().c_str());
    const DumpTarget target = DefaultDumpTarget();
    EXPECT_TRUE(target.usable);
    EXPECT_EQ(target.path, dir.Path() + "/" + kAppFolderName + "/a.dat");
    EXPECT_TRUE(std::filesystem::is_directory(TempDir::Native(dir.Path() + "/" + kAppFolderName)));
}

TEST(Platform, LinkWaitsAreBoundedAndSleep) {
    const net::Socket listener = net::Listen({0x7F000001, 0});
    ASSERT_NE(listener, net::kNoSocket) << net::LastError();
    const std::string bound = net::LocalAddress(listener);
    const int port = std::atoi(bound.c_str() + bound.find(':') + 1);
    ASSERT_GT(port, 0);

    CSocketLink link;
    ASSERT_TRUE(link.Open(0, false, 200));
    ASSERT_TRUE(link.Connect("127.0.0.1", port));
    ASSERT_TRUE(net::WaitFor(listener, true, false, 2000) == net::Status::kOk);
    const net::Socket peer = net::Accept(listener);
    ASSERT_NE(peer, net::kNoSocket);

    // Nothing arrives: a time-out after its time, not before.
    char buffer[16];
    auto start = Clock::now();
    EXPECT_EQ(link.Receive(buffer, sizeof buffer, 200).status, net::Status::kTimedOut);
    const long long waited = MillisecondsSince(start);
    EXPECT_GE(waited, 190);
    EXPECT_LT(waited, 1500);

    // A frame goes out whole and comes back; a closed peer is told at once.
    EXPECT_EQ(link.Send("frame", 5, 200).count, 5u);
    ASSERT_TRUE(net::WaitFor(peer, true, false, 2000) == net::Status::kOk);
    EXPECT_EQ(net::Receive(peer, buffer, sizeof buffer).count, 5u);
    net::Close(peer);
    start = Clock::now();
    EXPECT_EQ(link.Receive(buffer, sizeof buffer, 200).status, net::Status::kClosed);
    EXPECT_LT(MillisecondsSince(start), 190);
    link.Close();

    // Nothing listens: the connect fails, within its time-out.
    net::Close(listener);
    CSocketLink refused;
    ASSERT_TRUE(refused.Open(0, false, 200));
    start = Clock::now();
    EXPECT_FALSE(refused.Connect("127.0.0.1", port));
    EXPECT_LT(MillisecondsSince(start), 1500);
    // An address that names no device is not tried.
    CSocketLink nowhere;
    ASSERT_TRUE(nowhere.Open(0, false, 200));
    EXPECT_FALSE(nowhere.Connect("0.0.0.0", port));
}

}  // namespace
}  // namespace kelvarin
