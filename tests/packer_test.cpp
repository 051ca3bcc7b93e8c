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
            std::optional<std::uint64_t> listedBytes = std::nullopt) {
    Packed packed;
    packed.buffer.assign(capacity + 64, kFillByte);
    packed.result = PackImageInto({PackFilesFor(paths), listedBytes},
                                  std::span(packed.buffer.data(), capacity));
    packed.length = packed.result.length;
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
    PackResult whole = PackImage({PackFilesFor({dir.Path() + "/index.htm"}), std::nullopt});
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

}  // namespace
}  // namespace kelvarin
