// Packing against what a device holds: whatever changed, the laid-out image
// serves exactly the new files, keeps unchanged records where they were, and
// differs from the base only where something changed.
#include "delta_layout.h"
#include "download.h"
#include "image_reader.h"
#include "packer.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace kelvarin {
namespace {

using test::TempDir;

// What a device serves from image: each path's response.
std::map<std::string, std::string> Served(std::span<const std::uint8_t> image) {
    const ImageWalk walk =
        ReadImage(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    EXPECT_TRUE(walk.ok) << walk.error.Message();
    std::map<std::string, std::string> served;
    for (const ImageRecord& record : walk.records) {
        EXPECT_TRUE(served.emplace(std::string(record.path), std::string(record.response)).second);
    }
    return served;
}

std::map<std::string, std::size_t> Offsets(std::span<const std::uint8_t> image) {
    std::map<std::string, std::size_t> offsets;
    for (const ImageRecord& record :
         ReadImage(std::string_view(reinterpret_cast<const char*>(image.data()), image.size())).records) {
        offsets[std::string(record.path)] = record.offset;
    }
    return offsets;
}

PackResult Pack(const std::vector<std::string>& paths) {
    return PackImage({PackFilesFor(paths), std::nullopt, {}});
}

// A site of pages of the given sizes; page i's bytes come from seeds[i].
std::vector<std::string> Site(const TempDir& dir, const std::vector<std::size_t>& sizes,
                              const std::vector<unsigned>& seeds) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        paths.push_back(dir.WriteSized("p" + std::to_string(i) + ".htm", sizes[i], seeds[i]));
    }
    return paths;
}

TEST(DeltaLayout, WhatDidNotChangeStaysAndOnlyWhatChangedDiffers) {
    TempDir dir;
    const PackResult base = Pack(Site(dir, {4000, 9000, 3000, 20000}, {1, 2, 3, 4}));
    // Nothing changed: the very same bytes, nothing to write.
    const DeltaLayout same = LayOutAgainst(Pack(Site(dir, {4000, 9000, 3000, 20000}, {1, 2, 3, 4})),
                                           base.image);
    ASSERT_EQ(same.afresh, AfreshReason::kNone);
    EXPECT_EQ(same.kept, 4);
    EXPECT_TRUE(same.image == base.image);
    EXPECT_TRUE(DifferingChunks(same.image, base.image, 128).empty());

    // A same-size edit of one page: rewritten where it was, the rest kept.
    const PackResult edited = Pack(Site(dir, {4000, 9000, 3000, 20000}, {1, 7, 3, 4}));
    const DeltaLayout edit = LayOutAgainst(edited, base.image);
    ASSERT_EQ(edit.afresh, AfreshReason::kNone);
    EXPECT_EQ(edit.kept, 3);
    EXPECT_EQ(edit.inPlace, 1);
    EXPECT_TRUE(Served(edit.image) == Served(edited.image));
    EXPECT_EQ(Offsets(edit.image), Offsets(base.image));
    const std::vector<std::size_t> chunks = DifferingChunks(edit.image, base.image, 128);
    const std::size_t page = Offsets(base.image)["/p1.htm"];
    ASSERT_FALSE(chunks.empty());
    EXPECT_GE(chunks.front() + 128, page);
    EXPECT_LE(chunks.back(), page + 9100);

    // A page grown by 500 bytes: moved to free space, the others keep their places.
    const PackResult grown = Pack(Site(dir, {4000, 9500, 3000, 20000}, {1, 2, 3, 4}));
    const DeltaLayout grow = LayOutAgainst(grown, base.image);
    ASSERT_EQ(grow.afresh, AfreshReason::kNone);
    EXPECT_EQ(grow.moved, 1);
    EXPECT_TRUE(Served(grow.image) == Served(grown.image));
    for (const char* kept : {"/p0.htm", "/p2.htm", "/p3.htm"}) {
        EXPECT_EQ(Offsets(grow.image)[kept], Offsets(base.image)[kept]) << kept;
    }
    EXPECT_GT(Offsets(grow.image)["/p1.htm"], Offsets(base.image)["/p3.htm"]);
}

TEST(DeltaLayout, FreeSpaceIsReusedAndRunningOutPacksAfresh) {
    TempDir dir;
    const std::vector<std::string> site = Site(dir, {4000, 9000, 3000}, {1, 2, 3});
    const PackResult base = Pack(site);
    // The middle page gone, a smaller new one takes its place.
    const std::string added = dir.WriteSized("new.htm", 5000, 9);
    const PackResult next = Pack({site[0], site[2], added});
    const DeltaLayout layout = LayOutAgainst(next, base.image);
    ASSERT_EQ(layout.afresh, AfreshReason::kNone);
    EXPECT_EQ(layout.dropped, 1);
    EXPECT_EQ(layout.added, 1);
    EXPECT_TRUE(Served(layout.image) == Served(next.image));
    EXPECT_EQ(Offsets(layout.image)["/new.htm"], Offsets(base.image)["/p1.htm"]);
    // Tags keep the file list's row index, whatever the place.
    const ImageWalk walk = ReadImage(std::string_view(
        reinterpret_cast<const char*>(layout.image.data()), layout.image.size()));
    for (const ImageRecord& record : walk.records) {
        EXPECT_EQ(record.tag, record.path == "/p0.htm"   ? "FileHead0"
                              : record.path == "/p2.htm" ? "FileHead1"
                                                         : "FileHead2");
    }
    // A grown page takes its own old place and what follows it; a new page
    // that no free space holds is packed afresh.
    const PackResult full = Pack(Site(dir, {60000, 60000}, {1, 2}));
    const PackResult grown = Pack(Site(dir, {60000, 70000}, {1, 2}));
    const DeltaLayout grow = LayOutAgainst(grown, full.image);
    ASSERT_EQ(grow.afresh, AfreshReason::kNone);
    EXPECT_TRUE(Served(grow.image) == Served(grown.image));
    const PackResult three = Pack(Site(dir, {40000, 40000, 40000}, {1, 2, 3}));
    const PackResult middle = Pack(Site(dir, {40000, 45000, 40000}, {1, 2, 3}));
    ASSERT_TRUE(middle.Complete());
    EXPECT_EQ(LayOutAgainst(middle, three.image).afresh, AfreshReason::kNoRoom);
    // The first page grown: it keeps offset 0, where the device starts its
    // walk, and the page it now covers moves; the rest stay.
    const PackResult first = Pack(Site(dir, {4500, 9000, 3000}, {1, 2, 3}));
    const DeltaLayout moved = LayOutAgainst(first, base.image);
    ASSERT_EQ(moved.afresh, AfreshReason::kNone);
    EXPECT_TRUE(Served(moved.image) == Served(first.image));
    EXPECT_EQ(Offsets(moved.image)["/p0.htm"], 0u);
    EXPECT_EQ(Offsets(moved.image)["/p2.htm"], Offsets(base.image)["/p2.htm"]);
    EXPECT_EQ(moved.moved, 1);
    EXPECT_EQ(moved.inPlace, 1);
}

TEST(DeltaLayout, NoSoundBaseOrOneNameTwiceIsPackedAfresh) {
    TempDir dir;
    const std::vector<std::string> site = Site(dir, {400, 500}, {1, 2});
    const PackResult fresh = Pack(site);
    EXPECT_EQ(LayOutAgainst(fresh, std::vector<std::uint8_t>(4096, 0xFF)).afresh, AfreshReason::kNoBase);
    EXPECT_EQ(LayOutAgainst(fresh, {}).afresh, AfreshReason::kNoBase);
    std::filesystem::create_directory(TempDir::Native(dir.Path() + "/other"));
    const std::string twin = dir.WriteSized("other/p0.htm", 300, 5);
    EXPECT_EQ(LayOutAgainst(Pack({site[0], site[1], twin}), fresh.image).afresh,
              AfreshReason::kDuplicateNames);
}

TEST(DeltaLayout, AnySequenceOfEditsServesExactlyTheNewFiles) {
    TempDir dir;
    std::mt19937 random(7);
    std::vector<std::size_t> sizes = {3000, 800, 12000, 5000, 40, 7000};
    std::vector<unsigned> seeds = {1, 2, 3, 4, 5, 6};
    std::vector<std::uint8_t> device = Pack(Site(dir, sizes, seeds)).image;
    for (int round = 0; round < 60; ++round) {
        const std::size_t which = random() % sizes.size();
        switch (random() % 3) {
            case 0:
                seeds[which] = static_cast<unsigned>(random());
                break;
            case 1:
                sizes[which] = 10 + random() % 15000;
                break;
            default:
                sizes[which] = std::max<std::size_t>(10, sizes[which] / 2);
                break;
        }
        const PackResult fresh = Pack(Site(dir, sizes, seeds));
        const DeltaLayout layout = LayOutAgainst(fresh, device);
        if (layout.afresh == AfreshReason::kNoRoom) {
            device = fresh.image;  // a full send
            continue;
        }
        ASSERT_EQ(layout.afresh, AfreshReason::kNone) << round;
        ASSERT_TRUE(Served(layout.image) == Served(fresh.image)) << round;
        // What the device holds after writing only the differing chunks.
        std::vector<std::uint8_t> written = device;
        written.resize(std::max(written.size(), layout.image.size()), 0x5A);
        for (const std::size_t start : DifferingChunks(layout.image, device, 128)) {
            const std::size_t end = std::min(start + 128, layout.image.size());
            std::copy(layout.image.begin() + static_cast<std::ptrdiff_t>(start),
                      layout.image.begin() + static_cast<std::ptrdiff_t>(end),
                      written.begin() + static_cast<std::ptrdiff_t>(start));
        }
        written.resize(layout.image.size());
        ASSERT_TRUE(written == layout.image) << round;
        device = layout.image;
    }
}

}  // namespace
}  // namespace kelvarin
