// The image reader: sound chains, and every kind of broken one.
#include "image_reader.h"

#include "catalog.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kelvarin {
namespace {

// Builds a record by hand at offset `at` of image (grown as needed).
void PutRecord(std::string& image, std::size_t at, const std::string& name, std::string_view header,
               const std::string& contents, std::uint32_t next, int tag = 0) {
    std::size_t responseAt = NextAligned(at + kHeadSize + name.size() + 1);
    std::size_t end = NextAligned(responseAt + header.size() + contents.size());
    if (image.size() < end) {
        image.resize(end, '\xFF');
    }
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    FileHead head{kImageBase + static_cast<std::uint32_t>(at + kHeadSize),
                  kImageBase + static_cast<std::uint32_t>(responseAt),
                  static_cast<std::uint32_t>(header.size() + contents.size()), tag, next};
    WriteFileHead(bytes + at, head);
    image.replace(at + kHeadSize, name.size() + 1, name + '\0');
    image.replace(responseAt, header.size(), header);
    image.replace(responseAt + header.size(), contents.size(), contents);
}

std::string TwoRecords() {
    std::string image;
    PutRecord(image, 0, "/index.htm", kHtmlHeader, "<p>hi</p>", kImageBase + 128, 0);
    image.resize(128, '\xFF');
    PutRecord(image, 128, "/a.css", kOctetHeader, "p{}", 0, 1);
    return image;
}

void SetField(std::string& image, std::size_t at, std::uint32_t value) {
    StoreLE32(reinterpret_cast<std::uint8_t*>(image.data()) + at, value);
}

TEST(ImageReader, WalksASoundChain) {
    std::string image = TwoRecords();
    ImageWalk walk = ReadImage(image);
    ASSERT_TRUE(walk.ok) << walk.error.Message();
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.records[0].tag, "FileHead0");
    EXPECT_EQ(walk.records[0].path, "/index.htm");
    EXPECT_EQ(walk.records[0].contentType, "text/html");
    EXPECT_EQ(walk.records[0].contents, "<p>hi</p>");
    EXPECT_EQ(walk.records[1].offset, 128u);
    EXPECT_EQ(walk.records[1].contentType, "application/octet-stream");
    EXPECT_EQ(FindRecord(walk, "/a.css"), &walk.records[1]);
    EXPECT_EQ(FindRecord(walk, "/missing"), nullptr);
    EXPECT_TRUE(ReadImage("").ok);
}

struct BrokenCase {
    const char* name;
    void (*mutate)(std::string&);
    std::size_t offset;
    const char* what;
};

TEST(ImageReader, NamesWhatIsWrongAndWhere) {
    const BrokenCase cases[] = {
        {"head past end", [](std::string& i) { i.resize(20); }, 0, "record head runs past"},
        {"name outside", [](std::string& i) { SetField(i, 128, kImageBase + 0x20000); }, 128,
         "name address 0x140000 outside"},
        {"name below base", [](std::string& i) { SetField(i, 0, 0x1000); }, 0,
         "name address 0x1000 outside"},
        {"name without NUL",
         [](std::string& i) {
             i.resize(i.size() - 1);
             SetField(i, 128, kImageBase + static_cast<std::uint32_t>(i.size()) - 2);
             i.back() = 'x';
             i[i.size() - 2] = 'x';
         },
         128, "without its NUL"},
        {"response past end", [](std::string& i) { SetField(i, 8, 0xFFFFFFF0); }, 0,
         "runs past the end"},
        {"response outside", [](std::string& i) { SetField(i, 4, 7); }, 0,
         "response address 0x7 outside"},
        {"loop to itself", [](std::string& i) { SetField(i, 128 + 28, kImageBase + 128); }, 128,
         "chain goes back"},
        {"backwards", [](std::string& i) { SetField(i, 128 + 28, kImageBase); }, 128,
         "chain goes back"},
        {"next inside the head", [](std::string& i) { SetField(i, 28, kImageBase + 2); }, 0,
         "next record at offset 2 starts inside this record's head"},
        {"next outside", [](std::string& i) { SetField(i, 28, 0xDEADBEEF); }, 0,
         "next address 0xDEADBEEF outside"},
        {"next head cut", [](std::string& i) { SetField(i, 28, kImageBase + i.size() - 8); }, 0,
         ""},
        {"tag without NUL", [](std::string& i) { i.replace(12, 16, std::string(16, 'T')); }, 0,
         "tag without its NUL"},
    };
    for (const BrokenCase& c : cases) {
        std::string image = TwoRecords();
        c.mutate(image);
        ImageWalk walk = ReadImage(image);
        EXPECT_FALSE(walk.ok) << c.name;
        if (std::string(c.name) == "next head cut") {
            EXPECT_EQ(walk.error.offset, image.size() - 8) << c.name;
            continue;
        }
        EXPECT_EQ(walk.error.offset, c.offset) << c.name;
        EXPECT_NE(walk.error.what.find(c.what), std::string::npos)
            << c.name << ": " << walk.error.what;
        // The catalog says the same in English, and names the offset in Chinese.
        EXPECT_EQ(MessageCatalog(Language::kEnglish).ImageErrorText(walk.error),
                  walk.error.Message())
            << c.name;
        EXPECT_TRUE(MessageCatalog(Language::kChinese)
                        .ImageErrorText(walk.error)
                        .starts_with("偏移" + std::to_string(c.offset) + "："))
            << c.name;
    }
}

TEST(ImageReader, AWalkTakesAtMostOneRecordPerHead) {
    // Records packed as tight as heads allow are still read: each starts
    // right after the head before it, its name and response shared.
    std::string image(4096, '\0');
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    const std::size_t count = image.size() / kHeadSize - 1;
    image.replace(image.size() - 8, 8, "/x\0\0\0\0\0\0");
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t next =
            k + 1 < count ? kImageBase + static_cast<std::uint32_t>((k + 1) * kHeadSize) : 0;
        WriteFileHead(
            bytes + k * kHeadSize,
            FileHead{kImageBase + static_cast<std::uint32_t>(image.size() - 8),
                     kImageBase + static_cast<std::uint32_t>(image.size() - 4), 0, 0, next});
    }
    const ImageWalk tight = ReadImage(image);
    ASSERT_TRUE(tight.ok) << tight.error.Message();
    EXPECT_EQ(tight.records.size(), count);
    EXPECT_LE(tight.records.size(), image.size() / kHeadSize);

    // Heads 12 bytes apart, every field of each sound (a head's response
    // address is the next address of the head two before it), once walked
    // 339 records of a 4096-byte image.
    std::string overlapping(4096, '\0');
    auto* raw = reinterpret_cast<std::uint8_t*>(overlapping.data());
    std::size_t heads = 0;
    for (std::size_t at = 0; at + kHeadSize + 4 <= overlapping.size(); at += 12, ++heads) {
        StoreLE32(raw + at + kHeadNameAddress, kImageBase + 4092);
        StoreLE32(raw + at + kHeadResponseLength, 0);
        if (at < 24) {  // later ones have theirs from the heads before
            StoreLE32(raw + at + kHeadResponseAddress, kImageBase);
        }
        const bool last = at + 12 + kHeadSize + 4 > overlapping.size();
        StoreLE32(raw + at + kHeadNextAddress,
                  last ? 0 : kImageBase + static_cast<std::uint32_t>(at + 12));
    }
    ASSERT_GT(heads, 300u);
    const ImageWalk walk = ReadImage(overlapping);
    EXPECT_FALSE(walk.ok);
    EXPECT_NE(walk.error.what.find("starts inside this record's head"), std::string::npos)
        << walk.error.Message();
    EXPECT_LE(walk.records.size(), overlapping.size() / kHeadSize);
}

TEST(ImageReader, RandomBytesNeverEscapeTheImage) {
    std::mt19937 random(12345);
    std::string base = TwoRecords();
    for (int round = 0; round < 20000; ++round) {
        std::string image = base;
        int flips = 1 + static_cast<int>(random() % 8);
        for (int f = 0; f < flips; ++f) {
            image[random() % image.size()] = static_cast<char>(random());
        }
        ImageWalk walk = ReadImage(image);
        for (const ImageRecord& record : walk.records) {
            ASSERT_GE(record.response.data(), image.data());
            ASSERT_LE(record.response.data() + record.response.size(), image.data() + image.size());
            ASSERT_GE(record.path.data(), image.data());
        }
    }
}

}  // namespace
}  // namespace kelvarin
