// The packer: exact record bytes, skipped rows, limits and log lines.
#include "packer.h"

#include "image_reader.h"
#include "test_support.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kelvarin {
namespace {

using test::TempDir;

// Packs list into a 0xFF-filled buffer with guard bytes past the capacity.
struct Packed {
    std::vector<std::uint8_t> buffer;
    std::size_t length = 0;
    LogLines log;
    PackStats stats;
};

Packed Pack(const FileListModel& list, std::size_t capacity = kImageCapacity) {
    Packed packed;
    packed.buffer.assign(capacity + 64, kFillByte);
    packed.length = PackImage(list, packed.buffer.data(), capacity, packed.log, &packed.stats);
    return packed;
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
    FileListModel list;
    list.AddFile(dir.Write("index.htm", contents));
    Packed packed = Pack(list);
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
    EXPECT_EQ(packed.log.Lines(), (std::vector<std::string>{"正在打包", "打包完成"}));
}

TEST(Packer, EmptyListWritesNothing) {
    FileListModel list;
    Packed packed = Pack(list);
    EXPECT_EQ(packed.length, 0u);
    for (std::uint8_t byte : packed.buffer) {
        ASSERT_EQ(byte, 0xFF);
    }
    EXPECT_EQ(packed.log.Lines(), (std::vector<std::string>{"正在打包", "打包完成"}));
}

TEST(Packer, AlignmentAlwaysAdvancesAndZeroLengthFilesFit) {
    TempDir dir;
    FileListModel list;
    // "/ab.htm" is 7 bytes: 32 + 7 + 1 = 40 is aligned, so 4 fill bytes follow.
    list.AddFile(dir.Write("ab.htm", ""));
    Packed packed = Pack(list);
    EXPECT_EQ(Field(packed, 4), kImageBase + 44);
    for (std::size_t i = 40; i < 44; ++i) {
        EXPECT_EQ(packed.buffer[i], 0xFF) << i;
    }
    EXPECT_EQ(Field(packed, 8), kHtmlHeader.size());
    EXPECT_EQ(packed.length, NextAligned(44 + kHtmlHeader.size()));
}

TEST(Packer, HeaderFollowsTheNameEnding) {
    TempDir dir;
    FileListModel list;
    const std::vector<std::string> html = {"a.html", "A.HTM", "xhtm", "b.Html"};
    const std::vector<std::string> other = {"a.txt", "a.js", "a.css", "a.gif", "htm.png"};
    for (const auto& name : html) {
        list.AddFile(dir.Write(name, "x"));
    }
    for (const auto& name : other) {
        list.AddFile(dir.Write(name, "x"));
    }
    Packed packed = Pack(list);
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
    FileListModel list;
    list.AddFile(dir.Write("a.htm", "first"));
    std::string missing = dir.Path() + "/gone.htm";
    list.AddFile(missing);
    list.AddFile(dir.Write("c.css", "third"));
    Packed packed = Pack(list);

    ImageWalk walk = ReadImage(
        std::string_view(reinterpret_cast<const char*>(packed.buffer.data()), packed.length));
    ASSERT_TRUE(walk.ok);
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.records[0].tag, "FileHead0");
    EXPECT_EQ(walk.records[1].tag, "FileHead2");
    EXPECT_EQ(walk.records[0].nextAddress, kImageBase + walk.records[1].offset);
    EXPECT_EQ(walk.records[1].nextAddress, 0u);
    EXPECT_EQ(packed.log.Lines(),
              (std::vector<std::string>{"正在打包", missing + "打开失败", "打包完成"}));
    EXPECT_EQ(packed.stats.packed, 2);
    EXPECT_EQ(packed.stats.skipped, 1);
}

TEST(Packer, FileTooLargeIsSkippedAndASmallerOneStillFits) {
    TempDir dir;
    FileListModel list;
    list.AddFile(dir.WriteSized("big.bin", 100000));
    list.AddFile(dir.WriteSized("huge.bin", 40000));
    list.AddFile(dir.WriteSized("small.htm", 1000));
    Packed packed = Pack(list);
    EXPECT_EQ(packed.log.Lines(),
              (std::vector<std::string>{"正在打包",
                                        "打包文件长度可能超过了最大限制，会有部分文件不能被打包",
                                        "大小已经超限，/huge.bin文件不被打包", "打包完成"}));
    EXPECT_LE(packed.length, kImageCapacity);
    EXPECT_EQ(packed.stats.packed, 2);
}

TEST(Packer, CapacityIsAHardLimit) {
    TempDir dir;
    FileListModel list;
    // A file that fills the image exactly: 32 + 9 + 1 -> 44, +59 header, +L -> 131072 - 4.
    const std::size_t exact = kImageCapacity - 4 - 44 - kOctetHeader.size();
    list.AddFile(dir.WriteSized("fill.bin", exact));
    Packed packed = Pack(list);
    EXPECT_EQ(packed.length, kImageCapacity);
    for (std::size_t i = kImageCapacity; i < packed.buffer.size(); ++i) {
        ASSERT_EQ(packed.buffer[i], 0xFF) << i;
    }

    FileListModel tight;
    tight.AddFile(dir.WriteSized("x.bin", 100));
    Packed small = Pack(tight, 100);
    EXPECT_EQ(small.length, 0u);
    for (std::uint8_t byte : small.buffer) {
        ASSERT_EQ(byte, 0xFF);
    }
}

TEST(Packer, AdvisoryWarningOnlyAbove128K) {
    TempDir dir;
    FileListModel exact;
    exact.AddFile(dir.WriteSized("a.bin", 65536));
    exact.AddFile(dir.WriteSized("b.bin", 65536));
    ASSERT_EQ(exact.Text(2, kColumnLength), "128.00k");
    EXPECT_EQ(Pack(exact).log.Lines()[1], "大小已经超限，/b.bin文件不被打包");

    FileListModel over = FileListModel();
    over.AddFile(dir.WriteSized("c.bin", 65536));
    over.AddFile(dir.WriteSized("d.bin", 65547));
    ASSERT_EQ(over.Text(2, kColumnLength), "128.01k");
    EXPECT_EQ(Pack(over).log.Lines()[1], "打包文件长度可能超过了最大限制，会有部分文件不能被打包");
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
    FileListModel list;
    list.AddFile(shorter);
    list.AddFile(longer);
    list.AddFile(dir.Write("ok.htm", "fine"));
    Packed packed = Pack(list);
    EXPECT_EQ(packed.log.Lines(), (std::vector<std::string>{"正在打包", shorter + "读取失败",
                                                            longer + "读取失败", "打包完成"}));
    ImageWalk walk = ReadImage(
        std::string_view(reinterpret_cast<const char*>(packed.buffer.data()), packed.length));
    ASSERT_EQ(walk.records.size(), 1u);
    EXPECT_EQ(walk.records[0].tag, "FileHead2");
    // Nothing of the abandoned reads is left past the image.
    for (std::size_t i = packed.length; i < packed.buffer.size(); ++i) {
        ASSERT_EQ(packed.buffer[i], 0xFF) << i;
    }
}

}  // namespace
}  // namespace kelvarin
