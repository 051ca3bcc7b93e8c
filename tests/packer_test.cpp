// The packer: exact record bytes, skipped rows, limits and log lines.
#include "packer.h"

#include "content_types.h"
#include "gzip.h"
#include "image_reader.h"
#include "test_support.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace kelvarin {
namespace {

using test::TempDir;

// Packs paths into a 0xFF-filled buffer with guard bytes past the capacity.
struct Packed {
    std::vector<std::uint8_t> buffer;
    std::size_t length = 0;
    PackResult result;

    std::vector<FileOutcome> Outcomes() const {
        std::vector<FileOutcome> outcomes;
        for (const PackedFile& file : result.files) {
            outcomes.push_back(file.outcome);
        }
        return outcomes;
    }
};

Packed Pack(const std::vector<std::string>& paths, std::size_t capacity = kImageCapacity,
            std::optional<std::uint64_t> listedBytes = std::nullopt,
            const PackOptions& options = {}) {
    Packed packed;
    packed.buffer.assign(capacity + 64, kFillByte);
    packed.result = PackImageInto({PackFilesFor(paths, options), listedBytes, options},
                                  std::span(packed.buffer.data(), capacity));
    packed.length = packed.result.length;
    return packed;
}

// The records of a packed image.
ImageWalk Walk(const Packed& packed) {
    return ReadImage(
        std::string_view(reinterpret_cast<const char*>(packed.buffer.data()), packed.length));
}

std::string Unzipped(std::string_view stream) {
    auto plain =
        Gunzip({reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()}, 1 << 24);
    return plain ? std::string(plain->begin(), plain->end()) : "(broken)";
}

// Text that gzip shrinks well, as web pages and stylesheets are.
std::string PageText(std::size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) {
        text += "<div class=\"row item-" + std::to_string(i % 37) + "\">entry " +
                std::to_string(i) + "</div>\n";
    }
    text.resize(size);
    return text;
}

std::uint32_t Field(const Packed& packed, std::size_t offset) {
    return LoadLE32(packed.buffer.data() + offset);
}

TEST(Packer, WorkedExampleIsExactToTheByte) {
    TempDir dir;
    std::string contents(100, '\0');
    for (int i = 0; i < 100; ++i) {
        contents[static_cast<std::size_t>(i)] = static_cast<char>('a' + i % 26);
    }
    Packed packed = Pack({dir.Write("index.htm", contents)});
    ASSERT_EQ(packed.length, 192u);

    std::vector<std::uint8_t> expected(192, 0xFF);
    auto put32 = [&](std::size_t at, std::uint32_t v) { StoreLE32(expected.data() + at, v); };
    put32(0, 0x120020);
    put32(4, 0x120000 + 44);
    put32(8, 144);
    const std::string tag = "FileHead0";
    std::copy(tag.begin(), tag.end(), expected.begin() + 12);
    expected[21] = 0;
    put32(28, 0);
    const std::string name = "/index.htm";
    std::copy(name.begin(), name.end(), expected.begin() + 32);
    expected[42] = 0;
    std::copy(kHtmlHeader.begin(), kHtmlHeader.end(), expected.begin() + 44);
    std::copy(contents.begin(), contents.end(), expected.begin() + 88);

    EXPECT_EQ(std::vector<std::uint8_t>(packed.buffer.begin(), packed.buffer.begin() + 192),
              expected);
    EXPECT_EQ(packed.buffer[192], 0xFF);
    EXPECT_EQ(packed.Outcomes(), std::vector<FileOutcome>{FileOutcome::kPacked});
    EXPECT_EQ(packed.result.files[0].urlName, "/index.htm");
    EXPECT_EQ(packed.result.files[0].offset, 0u);
    EXPECT_EQ(packed.result.files[0].size, 100u);

    // PackImage gives the same bytes, cut to the image's length.
    PackResult whole = PackImage({PackFilesFor({dir.Path() + "/index.htm"}), std::nullopt, {}});
    EXPECT_EQ(whole.image, expected);
}

TEST(Packer, EmptyListWritesNothing) {
    Packed packed = Pack({});
    EXPECT_EQ(packed.length, 0u);
    for (std::uint8_t byte : packed.buffer) {
        ASSERT_EQ(byte, 0xFF);
    }
    EXPECT_TRUE(packed.result.files.empty());
    EXPECT_FALSE(packed.result.mayExceedCapacity);
}

TEST(Packer, AlignmentAlwaysAdvancesAndZeroLengthFilesFit) {
    TempDir dir;
    // "/ab.htm" is 7 bytes: 32 + 7 + 1 = 40 is aligned, so 4 fill bytes follow.
    Packed packed = Pack({dir.Write("ab.htm", "")});
    EXPECT_EQ(Field(packed, 4), kImageBase + 44);
    for (std::size_t i = 40; i < 44; ++i) {
        EXPECT_EQ(packed.buffer[i], 0xFF) << i;
    }
    EXPECT_EQ(Field(packed, 8), kHtmlHeader.size());
    EXPECT_EQ(packed.length, NextAligned(44 + kHtmlHeader.size()));
}

TEST(Packer, HeaderFollowsTheNameEnding) {
    TempDir dir;
    const std::vector<std::string> html = {"a.html", "A.HTM", "xhtm", "b.Html"};
    const std::vector<std::string> other = {"a.txt", "a.js", "a.css", "a.gif", "htm.png"};
    std::vector<std::string> paths;
    for (const auto& name : html) {
        paths.push_back(dir.Write(name, "x"));
    }
    for (const auto& name : other) {
        paths.push_back(dir.Write(name, "x"));
    }
    Packed packed = Pack(paths);
    ImageWalk walk = ReadImage(
        std::string_view(reinterpret_cast<const char*>(packed.buffer.data()), packed.length));
    ASSERT_TRUE(walk.ok) << walk.error.Message();
    ASSERT_EQ(walk.records.size(), html.size() + other.size());
    for (std::size_t i = 0; i < walk.records.size(); ++i) {
        EXPECT_EQ(walk.records[i].header, i < html.size() ? kHtmlHeader : kOctetHeader)
            << walk.records[i].path;
    }
}

TEST(Packer, UnreadableRowKeepsItsIndexAndChainSkipsIt) {
    TempDir dir;
    std::string missing = dir.Path() + "/gone.htm";
    Packed packed = Pack({dir.Write("a.htm", "first"), missing, dir.Write("c.css", "third")});

    ImageWalk walk = ReadImage(
        std::string_view(reinterpret_cast<const char*>(packed.buffer.data()), packed.length));
    ASSERT_TRUE(walk.ok);
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.records[0].tag, "FileHead0");
    EXPECT_EQ(walk.records[1].tag, "FileHead2");
    EXPECT_EQ(walk.records[0].nextAddress, kImageBase + walk.records[1].offset);
    EXPECT_EQ(walk.records[1].nextAddress, 0u);
    EXPECT_EQ(packed.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kPacked, FileOutcome::kOpenFailed,
                                        FileOutcome::kPacked}));
    EXPECT_EQ(packed.result.files[1].path, missing);
    EXPECT_EQ(packed.result.Packed(), 2);
    EXPECT_EQ(packed.result.Skipped(), 1);
}

TEST(Packer, FileTooLargeIsSkippedAndASmallerOneStillFits) {
    TempDir dir;
    Packed packed = Pack({dir.WriteSized("big.bin", 100000), dir.WriteSized("huge.bin", 40000),
                          dir.WriteSized("small.htm", 1000)});
    EXPECT_EQ(packed.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kPacked, FileOutcome::kTooLarge,
                                        FileOutcome::kPacked}));
    EXPECT_EQ(packed.result.files[1].urlName, "/huge.bin");
    EXPECT_LE(packed.length, kImageCapacity);
}

TEST(Packer, CapacityIsAHardLimit) {
    TempDir dir;
    // A file that fills the image exactly: 32 + 9 + 1 -> 44, +59 header, +L -> 131072 - 4.
    const std::size_t exact = kImageCapacity - 4 - 44 - kOctetHeader.size();
    Packed packed = Pack({dir.WriteSized("fill.bin", exact)});
    EXPECT_EQ(packed.length, kImageCapacity);
    for (std::size_t i = kImageCapacity; i < packed.buffer.size(); ++i) {
        ASSERT_EQ(packed.buffer[i], 0xFF) << i;
    }

    Packed small = Pack({dir.WriteSized("x.bin", 100)}, 100);
    EXPECT_EQ(small.length, 0u);
    for (std::uint8_t byte : small.buffer) {
        ASSERT_EQ(byte, 0xFF);
    }
}

TEST(Packer, AdvisoryWarningOnlyAboveTheCapacity) {
    EXPECT_FALSE(Pack({}, kImageCapacity, kImageCapacity).result.mayExceedCapacity);
    EXPECT_TRUE(Pack({}, kImageCapacity, kImageCapacity + 1).result.mayExceedCapacity);
    EXPECT_FALSE(Pack({}, kImageCapacity, std::nullopt).result.mayExceedCapacity);
}

TEST(Packer, FileThatChangesWhileReadIsNotPacked) {
    // Kernel files report one length and yield another: /sys ones yield fewer
    // bytes, /proc ones (length 0) yield more.
    const std::string shorter = "/sys/devices/system/cpu/online";
    const std::string longer = "/proc/self/status";
    if (!std::filesystem::exists(shorter) || !std::filesystem::exists(longer)) {
        GTEST_SKIP() << "no /sys or /proc here";
    }
    TempDir dir;
    Packed packed = Pack({shorter, longer, dir.Write("ok.htm", "fine")});
    EXPECT_EQ(packed.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kReadFailed, FileOutcome::kReadFailed,
                                        FileOutcome::kPacked}));
    ImageWalk walk = ReadImage(
        std::string_view(reinterpret_cast<const char*>(packed.buffer.data()), packed.length));
    ASSERT_EQ(walk.records.size(), 1u);
    EXPECT_EQ(walk.records[0].tag, "FileHead2");
    // Nothing of the abandoned reads is left past the image.
    for (std::size_t i = packed.length; i < packed.buffer.size(); ++i) {
        ASSERT_EQ(packed.buffer[i], 0xFF) << i;
    }
}

TEST(ContentTypes, CommonWebFilesByExtensionIgnoringCase) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/index.html", "text/html"},
        {"/a.HTM", "text/html"},
        {"/css/Main.CSS", "text/css"},
        {"/app.js", "text/javascript"},
        {"/m.mjs", "text/javascript"},
        {"/d.json", "application/json"},
        {"/i.svg", "image/svg+xml"},
        {"/p.png", "image/png"},
        {"/g.gif", "image/gif"},
        {"/j.JPG", "image/jpeg"},
        {"/j.jpeg", "image/jpeg"},
        {"/w.webp", "image/webp"},
        {"/favicon.ico", "image/vnd.microsoft.icon"},
        {"/t.txt", "text/plain"},
        {"/x.xml", "application/xml"},
        {"/m.wasm", "application/wasm"},
        {"/f.woff", "font/woff"},
        {"/f.woff2", "font/woff2"},
        {"/d.pdf", "application/pdf"},
        {"/noext", "application/octet-stream"},
        {"/a.b/noext", "application/octet-stream"},  // a dot in a folder is no extension
        {"/archive.tar.gz", "application/octet-stream"},
        {"/trailing.", "application/octet-stream"},
    };
    for (const auto& [name, type] : cases) {
        EXPECT_EQ(ContentTypeOf(name), type) << name;
    }
    EXPECT_TRUE(IsCompressibleType("text/css"));
    EXPECT_TRUE(IsCompressibleType("image/svg+xml"));
    EXPECT_FALSE(IsCompressibleType("image/png"));
    EXPECT_FALSE(IsCompressibleType("font/woff2"));
}

TEST(WebOptions, FilesBelowTheRootKeepTheirPaths) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/site/css/deep");
    const std::string root = dir.Path() + "/site";
    EXPECT_EQ(UrlNameBelow(root + "/index.htm", root), "/index.htm");
    EXPECT_EQ(UrlNameBelow(root + "/css/deep/a b.css", root), "/css/deep/a b.css");
    EXPECT_EQ(UrlNameBelow(root + "/css/../img.png", root + "/"), "/img.png");
    EXPECT_EQ(UrlNameBelow(root + "/./css/x.js", root + "/./"), "/css/x.js");
    EXPECT_EQ(UrlNameBelow(root + "/中文/页.htm", root), "/中文/页.htm");  // UTF-8 bytes
    // Outside the root, or no root: the base name, as in the default format.
    EXPECT_EQ(UrlNameBelow(dir.Path() + "/other/x.css", root), "/x.css");
    EXPECT_EQ(UrlNameBelow(root + "/../sitex/y.css", root), "/y.css");
    EXPECT_EQ(UrlNameBelow(dir.Path() + "/site2/z.css", root), "/z.css");  // a prefix, not a parent
    EXPECT_EQ(UrlNameBelow(root + "/css/a.css", ""), "/a.css");

    // A relative root and path are taken from the current folder.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    EXPECT_EQ(UrlNameBelow("site/css/a.css", "site"), "/css/a.css");
    EXPECT_EQ(UrlNameBelow(root + "/css/a.css", "."), "/site/css/a.css");
    std::filesystem::current_path(previous);
}

TEST(WebOptions, ContentTypesNameEachFileInTheDefaultHeaderForm) {
    TempDir dir;
    PackOptions options;
    options.contentTypes = true;
    Packed packed =
        Pack({dir.Write("a.css", "h1{}"), dir.Write("b.htm", "<p>"), dir.Write("c.bin", "x")},
             kImageCapacity, std::nullopt, options);
    ImageWalk walk = Walk(packed);
    ASSERT_EQ(walk.records.size(), 3u);
    EXPECT_EQ(walk.records[0].header, "HTTP/1.1 200 OK\r\nContent-type: text/css\r\n\r\n");
    EXPECT_EQ(walk.records[1].header, kHtmlHeader);
    EXPECT_EQ(walk.records[2].header, kOctetHeader);
    EXPECT_EQ(walk.records[0].contents, "h1{}");
    EXPECT_EQ(packed.result.files[0].contentType, "text/css");
}

TEST(WebOptions, GzipStoresTextCompressedOnlyWhereSmaller) {
    TempDir dir;
    const std::string page = PageText(20000);
    std::string noise(3000, '\0');
    std::mt19937 random(7);
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    PackOptions options;
    options.contentTypes = true;
    options.gzip = true;
    Packed packed = Pack({dir.Write("index.html", page), dir.Write("noise.txt", noise),
                          dir.Write("logo.png", page), dir.Write("tiny.css", "a")},
                         kImageCapacity, std::nullopt, options);
    ImageWalk walk = Walk(packed);
    ASSERT_TRUE(walk.ok) << walk.error.Message();
    ASSERT_EQ(walk.records.size(), 4u);

    // The page: compressed, its body gunzips to the file.
    EXPECT_EQ(walk.records[0].header,
              "HTTP/1.1 200 OK\r\nContent-type: text/html\r\nContent-Encoding: gzip\r\n\r\n");
    EXPECT_LT(walk.records[0].contents.size(), page.size() / 4);
    EXPECT_EQ(Unzipped(walk.records[0].contents), page);
    EXPECT_TRUE(packed.result.files[0].gzip);
    EXPECT_EQ(packed.result.files[0].storedSize, walk.records[0].contents.size());
    EXPECT_EQ(packed.result.files[0].size, page.size());
    // No name, no time, "unknown" system: the bytes depend on the file alone.
    const auto* gz = reinterpret_cast<const std::uint8_t*>(walk.records[0].contents.data());
    EXPECT_EQ(gz[3], 0);                          // no flags, so no name
    EXPECT_EQ(gz[4] | gz[5] | gz[6] | gz[7], 0);  // no time
    EXPECT_EQ(gz[9], 255);                        // unknown system

    // Incompressible text, a picture, and a file too small to gain: as they are.
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(walk.records[i].header.find("Content-Encoding"), std::string_view::npos) << i;
        EXPECT_FALSE(packed.result.files[i].gzip) << i;
    }
    EXPECT_EQ(walk.records[1].contents, noise);
    EXPECT_EQ(walk.records[2].contents, page);
}

TEST(WebOptions, GzipCapacityChecksCountTheBytesStored) {
    TempDir dir;
    // 200000 bytes of pages: far over 128K as listed, a few KiB as stored.
    std::vector<std::string> paths = {dir.Write("a.htm", PageText(100000)),
                                      dir.Write("b.css", PageText(100000))};
    PackOptions gzip;
    gzip.gzip = true;
    Packed compressed = Pack(paths, kImageCapacity, 200000, gzip);
    EXPECT_FALSE(compressed.result.mayExceedCapacity);
    EXPECT_EQ(compressed.result.Packed(), 2);

    Packed plain = Pack(paths, kImageCapacity, 200000);
    EXPECT_TRUE(plain.result.mayExceedCapacity);
    EXPECT_EQ(plain.result.Packed(), 1);
}

TEST(WebOptions, ASecondRecordOfTheSamePathIsFlaggedButPacked) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/one");
    std::filesystem::create_directories(dir.Path() + "/two");
    const std::string first = dir.Write("one/index.htm", "first");
    const std::string second = dir.Write("two/index.htm", "second");
    Packed packed = Pack({first, dir.Write("x.css", "x"), second});
    EXPECT_EQ(packed.result.Packed(), 3);
    EXPECT_EQ(packed.result.files[0].duplicateOf, -1);
    EXPECT_EQ(packed.result.files[2].duplicateOf, 0);

    // Below a common root the two are different paths.
    PackOptions rooted;
    rooted.siteRoot = dir.Path();
    Packed apart = Pack({first, second}, kImageCapacity, std::nullopt, rooted);
    EXPECT_EQ(apart.result.files[0].urlName, "/one/index.htm");
    EXPECT_EQ(apart.result.files[1].duplicateOf, -1);
}

}  // namespace
}  // namespace kelvarin
