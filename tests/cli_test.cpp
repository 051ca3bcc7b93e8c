// kelvarin-cli pack and inspect, run as a user runs them.
#include "child_process.h"
#include "image_reader.h"
#include "test_support.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kelvarin {
namespace {

using test::ReadAll;
using test::RunProgram;
using test::TempDir;

const std::string kCli = KELVARIN_CLI_PATH;

TEST(Cli, PackThenInspectListsTheRecords) {
    TempDir dir;
    std::string page = dir.Write("index.htm", "<h1>hello</h1>");
    std::string style = dir.Write("style.css", "h1{}");
    std::string image = dir.Path() + "/image.bin";

    auto packed = RunProgram({kCli, "pack", "-o", image, page, style, page});
    EXPECT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(packed.out, "正在打包\n打包完成\n");
    std::string bytes = ReadAll(image);
    ASSERT_EQ(ReadImage(bytes).records.size(), 2u);  // the duplicate is packed once
    EXPECT_EQ(bytes.size() % 4, 0u);

    auto listed = RunProgram({kCli, "inspect", image, "--extract", dir.Path() + "/out"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("FileHead0    /index.htm"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("text/html"), std::string::npos);
    EXPECT_NE(listed.out.find("0x120000"), std::string::npos);
    EXPECT_NE(listed.out.find("2个记录，"), std::string::npos);
    EXPECT_EQ(ReadAll(dir.Path() + "/out/style.css"), "h1{}");
}

TEST(Cli, PackExitCodes) {
    TempDir dir;
    std::string page = dir.Write("a.htm", "x");
    auto skipped =
        RunProgram({kCli, "pack", "-o", dir.Path() + "/i.bin", page, dir.Path() + "/nope"});
    EXPECT_EQ(skipped.exitCode, 1);
    EXPECT_NE(skipped.out.find(dir.Path() + "/nope打开失败"), std::string::npos);

    auto unwritable = RunProgram({kCli, "pack", "-o", dir.Path() + "/no/such/dir/i.bin", page});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_NE(unwritable.err.find("无法写入映像"), std::string::npos) << unwritable.err;

    EXPECT_EQ(RunProgram({kCli, "pack", page}).exitCode, 2);  // no -o
    EXPECT_EQ(RunProgram({kCli, "frobnicate"}).exitCode, 2);
    EXPECT_EQ(RunProgram({kCli}).exitCode, 2);
    auto version = RunProgram({kCli, "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("kelvarin-cli 1."), std::string::npos);
    EXPECT_EQ(RunProgram({kCli, "pack", "--help"}).exitCode, 0);

    // An image is never written over one of the files it packs, however
    // the two are spelt; nothing is written at all.
    const std::string other = dir.Write("b.htm", "y");
    std::filesystem::create_symlink(TempDir::Native(other), TempDir::Native(dir.Path() + "/l.htm"));
    for (const std::string& output : {other, dir.Path() + "/./b.htm", dir.Path() + "/l.htm"}) {
        auto refused = RunProgram({kCli, "pack", "-o", output, page, other});
        EXPECT_EQ(refused.exitCode, 2) << output;
        EXPECT_NE(refused.err.find("-o " + output + "是要打包的文件之一"),
                  std::string::npos)
            << refused.err;
        EXPECT_EQ(ReadAll(other), "y");
    }
    auto site = RunProgram({kCli, "pack", "-o", page, "--site", dir.Path()});
    EXPECT_EQ(site.exitCode, 2);
    EXPECT_EQ(ReadAll(page), "x");
    auto dumped = RunProgram({kCli, "send", "127.0.0.1", "1", page, "--dump", page});
    EXPECT_EQ(dumped.exitCode, 2);  // refused before connecting
    EXPECT_NE(dumped.err.find("--dump " + page + "是要打包的文件之一"), std::string::npos);
    EXPECT_EQ(ReadAll(page), "x");
}

TEST(Cli, InspectReportsBrokenImagesAndRefusesEscapingNames) {
    TempDir dir;
    std::string page = dir.Write("a.htm", "x");
    std::string image = dir.Path() + "/i.bin";
    ASSERT_EQ(RunProgram({kCli, "pack", "-o", image, page}).exitCode, 0);
    std::string bytes = ReadAll(image);

    std::string broken = bytes;
    StoreLE32(reinterpret_cast<std::uint8_t*>(broken.data()) + kHeadResponseLength, 0x7FFFFFFF);
    auto bad = RunProgram({kCli, "inspect", dir.Write("broken.bin", broken)});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("broken.bin：映像已损坏，偏移0：偏移40处2147483647字节的应答超出了映像末尾"),
              std::string::npos)
        << bad.err;

    std::string escaping = bytes;
    escaping.replace(32, 6, "/../a");  // "/a.htm" becomes "/../a\0"
    escaping[37] = '\0';
    auto refused = RunProgram(
        {kCli, "inspect", dir.Write("escape.bin", escaping), "--extract", dir.Path() + "/out"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("拒绝提取“/../a”：这个名称会离开" + dir.Path() + "/out"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/a"));

    EXPECT_EQ(RunProgram({kCli, "inspect", dir.Path()}).exitCode, 2);  // a folder is no image
    // Far too large to be an image: it cannot be read as one.
    std::filesystem::resize_file(TempDir::Native(dir.Write("huge.bin", "")), 17u << 20);
    auto huge = RunProgram({kCli, "inspect", dir.Path() + "/huge.bin"});
    EXPECT_EQ(huge.exitCode, 2);
    EXPECT_NE(huge.err.find("huge.bin太大，不是映像"), std::string::npos) << huge.err;
}

TEST(Cli, InspectNeverLetsAnImageDriveTheTerminal) {
    TempDir dir;
    // Names and header fields holding escape sequences: the window title,
    // clearing the screen, a C1 control in UTF-8, a bell, a carriage return.
    const std::string name =
        "a\x1b]0;owned\x07\x1b[2J\xc2\x9b"
        "1m\r.htm";
    const std::string page = dir.Write(name, "<p>");
    const std::string image = dir.Path() + "/i.bin";
    ASSERT_EQ(RunProgram({kCli, "pack", "-o", image, page}).exitCode, 0);
    std::string bytes = ReadAll(image);
    const std::size_t type = bytes.find("text/html");
    ASSERT_NE(type, std::string::npos);
    bytes.replace(type, 9, "\x1b[5m\\x07h");  // as long as before: the record stays sound
    auto listed = RunProgram({kCli, "inspect", dir.Write("hostile.bin", bytes)});
    EXPECT_EQ(listed.out.find_first_of("\x1b\x07\r"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("\xc2\x9b"), std::string::npos);
    EXPECT_NE(listed.out.find("/a\\x1B]0;owned\\x07\\x1B[2J\\u009B1m\\x0D.htm"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find(" \\x1B[5m\\\\x07h "), std::string::npos) << listed.out;
}

TEST(Cli, InspectRefusesAnImageLargerThanTheMemory) {
    TempDir dir;
    const std::string image = dir.Path() + "/i.bin";
    ASSERT_EQ(RunProgram({kCli, "pack", "-o", image, dir.Write("a.htm", "x")}).exitCode, 0);
    // A sound chain, then more than the device's memory holds.
    std::string bytes = ReadAll(image);
    bytes.resize(kImageCapacity + 4, '\xFF');
    auto large = RunProgram({kCli, "inspect", dir.Write("large.bin", bytes)});
    EXPECT_EQ(large.exitCode, 2);
    EXPECT_EQ(large.out, "");
    EXPECT_NE(large.err.find("large.bin有131076字节，超过映像存储器的131072字节"), std::string::npos)
        << large.err;
}

TEST(Cli, OfTwoFilesWithOneUrlNameTheDevicesIsExtractedAndTheOtherNamed) {
    TempDir dir;
    std::filesystem::create_directories(TempDir::Native(dir.Path() + "/a"));
    std::filesystem::create_directories(TempDir::Native(dir.Path() + "/b"));
    const std::string first = dir.Write("a/index.htm", "first");
    const std::string second = dir.Write("b/index.htm", "second");
    const std::string image = dir.Path() + "/i.bin";
    auto packed = RunProgram({kCli, "pack", "-o", image, first, second});
    EXPECT_EQ(packed.exitCode, 0);
    EXPECT_EQ(packed.out, "正在打包\n/index.htm路径重复，设备只能提供第一个同路径的文件\n打包完成\n");
    auto extracted = RunProgram({kCli, "inspect", image, "--extract", dir.Path() + "/out"});
    EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
    EXPECT_EQ(ReadAll(dir.Path() + "/out/index.htm"), "first");  // what the device serves
    EXPECT_NE(extracted.err.find("未提取偏移"), std::string::npos) << extracted.err;
    EXPECT_NE(extracted.err.find("处的“/index.htm”：设备只提供偏移0处第一个同路径的记录"),
              std::string::npos)
        << extracted.err;
}

TEST(Cli, AbsurdCommandLinesGetAClearAnswer) {
    TempDir dir;
    std::vector<std::string> argv = {kCli, "pack", "-o", dir.Path() + "/i.bin"};
    for (int i = 0; i < 60; ++i) {
        argv.push_back(dir.Write("f" + std::to_string(i) + ".htm", "x"));
    }
    auto tooMany = RunProgram(argv);
    EXPECT_EQ(tooMany.exitCode, 1);
    EXPECT_NE(tooMany.out.find("10个文件超出50个文件的上限，未加入：" + dir.Path() + "/f50.htm，"),
              std::string::npos)
        << tooMany.out;
    EXPECT_EQ(ReadImage(ReadAll(dir.Path() + "/i.bin")).records.size(), 50u);

    auto empty = RunProgram({kCli, "pack", "-o", dir.Path() + "/j.bin", ""});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.out, "正在打包\n打开失败\n打包完成\n");
    EXPECT_EQ(RunProgram({kCli, "pack", "-o", dir.Path(), argv[4]}).exitCode, 2);  // a folder
    EXPECT_EQ(RunProgram({kCli, "send", "127.0.0.1", "99999999999999999999", argv[4]}).exitCode, 2);
    EXPECT_EQ(RunProgram({kCli, "send", "127.0.0.1", "-1", argv[4]}).exitCode, 2);
    EXPECT_EQ(RunProgram({kCli, "inspect", "/dev/zero"}).exitCode, 2);  // never read forever
}

TEST(Cli, AnEnglishLocaleGetsEnglishLines) {
    TempDir dir;
    const std::string page = dir.Write("index.htm", "<p>");
    setenv("LC_ALL", "en_GB.UTF-8", 1);
    auto english = RunProgram(
        {kCli, "pack", "-o", dir.Path() + "/i.bin", page, dir.Path() + "/gone.css", "--gzip"});
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_EQ(english.exitCode, 1);
    EXPECT_EQ(english.out, "Web options: gzip\nPacking\n" + dir.Path() +
                               "/gone.css: cannot be opened\nPacking done\n");
    auto chinese = RunProgram({kCli, "pack", "-o", dir.Path() + "/i.bin", page});
    EXPECT_EQ(chinese.out, "正在打包\n打包完成\n");
}

TEST(Cli, SiteFoldersPackWithTheWebOptions) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/site/css");
    std::filesystem::create_directories(dir.Path() + "/site/.cache");
    std::string page = "<!DOCTYPE html><link rel=stylesheet href=css/main.css>";
    for (int i = 0; i < 80; ++i) {
        page += "<p class=row>line " + std::to_string(i) + "</p>\n";
    }
    dir.Write("site/index.htm", page);
    dir.Write("site/css/main.css", "p { color: teal; }\n");
    dir.Write("site/.cache/x", "hidden");
    const std::string image = dir.Path() + "/i.bin";

    auto packed = RunProgram(
        {kCli, "pack", "-o", image, "--site", dir.Path() + "/site", "--content-types", "--gzip"});
    EXPECT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(packed.out, "网页选项：内容类型，gzip压缩，网站根目录" + dir.Path() +
                              "/site\n正在打包\n打包完成\n");
    std::string bytes = ReadAll(image);  // the walk points into it
    ImageWalk walk = ReadImage(bytes);
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.records[0].path, "/index.htm");  // the index page first, hidden files left out
    EXPECT_EQ(walk.records[1].path, "/css/main.css");
    EXPECT_EQ(walk.records[1].contentType, "text/css");
    EXPECT_EQ(walk.records[0].contentEncoding, "gzip");

    // inspect shows the encoding and both sizes, and extracts the site as it was.
    auto listed = RunProgram({kCli, "inspect", image, "--extract", dir.Path() + "/out"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    const std::string row = listed.out.substr(listed.out.find("FileHead0"));
    EXPECT_NE(row.find("text/html"), std::string::npos) << listed.out;
    EXPECT_NE(row.find("gzip"), std::string::npos);
    EXPECT_NE(row.find(" " + std::to_string(walk.records[0].contents.size()) + " "),
              std::string::npos)
        << row;
    EXPECT_NE(row.find(" " + std::to_string(page.size()) + " "), std::string::npos) << row;
    EXPECT_EQ(ReadAll(dir.Path() + "/out/index.htm"), page);
    EXPECT_EQ(ReadAll(dir.Path() + "/out/css/main.css"), "p { color: teal; }\n");

    // --root names files below it by their paths; the others by base name.
    auto rooted = RunProgram({kCli, "pack", "-o", image, "--root", dir.Path() + "/site",
                              dir.Path() + "/site/css/main.css", dir.Write("extra.js", "1")});
    EXPECT_EQ(rooted.exitCode, 0) << rooted.err;
    bytes = ReadAll(image);
    walk = ReadImage(bytes);
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.records[0].path, "/css/main.css");
    EXPECT_EQ(walk.records[1].path, "/extra.js");
}

TEST(Cli, AnOverflowingSiteKeepsItsPagesAndSaysWhatWasLeftOut) {
    TempDir dir;
    for (const char* folder : {"site/_static", "site/api"}) {
        std::filesystem::create_directories(dir.Path() + "/" + folder);
    }
    dir.WriteSized("site/_static/a.css", 60000, 1);  // path order would pack these first
    dir.WriteSized("site/_static/b.js", 60000, 2);
    dir.WriteSized("site/_static/c.png", 9000, 3);
    dir.WriteSized("site/about.html", 5000, 4);
    dir.WriteSized("site/api/index.html", 3000, 5);
    dir.WriteSized("site/index.html", 4000, 6);
    const std::string image = dir.Path() + "/i.bin";

    auto packed = RunProgram({kCli, "pack", "-o", image, "--site", dir.Path() + "/site"});
    EXPECT_EQ(packed.exitCode, 1);
    const std::string bytes = ReadAll(image);
    const ImageWalk walk = ReadImage(bytes);
    std::vector<std::string> paths;
    for (const ImageRecord& record : walk.records) {
        paths.emplace_back(record.path);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/index.html", "/api/index.html", "/about.html",
                                               "/_static/a.css", "/_static/c.png"}));
    // Each file left out is named with the bytes its record needs, then how
    // many did not fit, their bytes and what was left.
    const std::size_t left = kImageCapacity - bytes.size();
    EXPECT_NE(packed.out.find("大小已经超限，/_static/b.js文件不被打包，它需要60108字节\n"
                              "1个文件放不下，共需60108字节，映像只剩" +
                              std::to_string(left) + "字节\n打包完成\n"),
              std::string::npos)
        << packed.out;

    // All or nothing: no image written, the reason said, exit 1.
    std::filesystem::remove(image);
    auto refused = RunProgram(
        {kCli, "pack", "-o", image, "--site", dir.Path() + "/site", "--all-or-nothing"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.ends_with(
        "打包完成\n全部装下才发送：1个文件不能打包，没有写入映像\n"))
        << refused.out;
    EXPECT_FALSE(std::filesystem::exists(image));
    // A site that fits is written as without the option.
    auto whole = RunProgram({kCli, "pack", "-o", image, "--all-or-nothing", "--site",
                             dir.Path() + "/site/api"});
    EXPECT_EQ(whole.exitCode, 0) << whole.out;
    EXPECT_TRUE(std::filesystem::exists(image));
}

TEST(Cli, SiteAndRootMistakesAreUsageErrors) {
    TempDir dir;
    const std::string image = dir.Path() + "/i.bin";
    const std::string file = dir.Write("a.htm", "x");
    std::filesystem::create_directories(dir.Path() + "/empty/.hidden");
    dir.Write("empty/.hidden/x", "x");

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--site", dir.Path() + "/missing"},
         "--site " + dir.Path() + "/missing：不是可以读取的文件夹"},
        {{"--site", file}, "--site " + file + "：不是可以读取的文件夹"},
        {{"--site", dir.Path() + "/empty"}, "其中没有文件"},
        {{"--root", dir.Path() + "/missing", file}, "--root " + dir.Path() + "/missing"},
        {{"--site", dir.Path(), file}, "excludes"},
        {{"--site", dir.Path(), "--root", dir.Path()}, "excludes"},
        {{}, "files or --site"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> argv = {kCli, "pack", "-o", image};
        argv.insert(argv.end(), options.begin(), options.end());
        auto refused = RunProgram(argv);
        EXPECT_EQ(refused.exitCode, 2) << message;
        EXPECT_NE(refused.err.find(message), std::string::npos) << refused.err;
    }

    // A site of more than 50 files: the files past the 50th are named, exit 1.
    std::filesystem::create_directories(dir.Path() + "/big");
    for (int i = 0; i < 53; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "big/f%02d.txt", i);
        dir.Write(name, "x");
    }
    auto many = RunProgram({kCli, "pack", "-o", image, "--site", dir.Path() + "/big"});
    EXPECT_EQ(many.exitCode, 1);
    EXPECT_NE(many.out.find("3个文件超出50个文件的上限，未加入：" + dir.Path() + "/big/f50.txt，" +
                            dir.Path() + "/big/f51.txt，" + dir.Path() + "/big/f52.txt\n"),
              std::string::npos)
        << many.out;
    EXPECT_EQ(ReadImage(ReadAll(image)).records.size(), 50u);
}

TEST(Cli, SiteFoldersFollowLinksAndNameWhatTheyLeaveOut) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/site");
    std::filesystem::create_directories(dir.Path() + "/assets/css");
    dir.Write("site/index.htm", "<p>");
    dir.Write("assets/css/main.css", "p{}");
    const std::string site = dir.Path() + "/site";
    std::filesystem::create_directory_symlink(TempDir::Native(dir.Path() + "/assets"),
                                              TempDir::Native(site + "/assets"));
    std::filesystem::create_symlink(TempDir::Native(dir.Path() + "/gone.js"),
                                    TempDir::Native(site + "/app.js"));
    std::filesystem::create_directory_symlink(TempDir::Native(site),
                                              TempDir::Native(site + "/assets2"));
    const std::string image = dir.Path() + "/i.bin";
    auto packed = RunProgram({kCli, "pack", "-o", image, "--site", site});
    // The image holds what a static web server would serve of the folder;
    // what such a server would not serve either is named.
    EXPECT_EQ(packed.exitCode, 0);
    EXPECT_EQ(packed.err,
              "kelvarin-cli: 网站文件夹中的app.js未加入：链接指向的文件不存在\n"
              "kelvarin-cli: 网站文件夹中的assets2未加入：链接指向它所在的文件夹\n");
    const std::string bytes = ReadAll(image);
    const ImageWalk walk = ReadImage(bytes);
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.records[0].path, "/index.htm");
    EXPECT_EQ(walk.records[1].path, "/assets/css/main.css");  // through the folder link
}

}  // namespace
}  // namespace kelvarin
