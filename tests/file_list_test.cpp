// The file list model: rows, the total row, limits, removal rules.
#include "file_list.h"

#include "test_support.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <vector>

namespace kelvarin {
namespace {

using test::TempDir;

TEST(FileList, NewListHoldsOnlyTheTotalRow) {
    FileListModel list;
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_TRUE(list.IsTotalRow(0));
    EXPECT_EQ(list.FileCount(), 0);
    EXPECT_EQ(list.TotalKiB(), 0.0f);
    EXPECT_EQ(list.ListedBytes(), 0u);
    EXPECT_FALSE(list.IsChecked(0));
}

TEST(FileList, SizesRoundToHundredthsOfAKiBHalvesToEven) {
    EXPECT_EQ(KiBHundredths(1000), 98u);  // 0.9765... -> 0.98
    EXPECT_EQ(KiBHundredths(131072), 12800u);
    EXPECT_EQ(KiBHundredths(0), 0u);
    EXPECT_EQ(KiBHundredths(128), 12u);                          // 0.125 exactly -> 0.12
    EXPECT_EQ(KiBHundredths(384), 38u);                          // 0.375 exactly -> 0.38
    EXPECT_EQ(KiBHundredths(UINT64_MAX), 1801439850948198400u);  // no overflow
}

TEST(FileList, TotalAddsTheShownSizes) {
    TempDir dir;
    FileListModel list;
    ASSERT_TRUE(list.AddFile(dir.WriteSized("a.htm", 1000)));
    ASSERT_TRUE(list.AddFile(dir.WriteSized("b.gif", 2048)));
    ASSERT_TRUE(list.AddFile(dir.Path() + "/missing.htm"));
    ASSERT_EQ(list.RowCount(), 4);
    EXPECT_EQ(list.FileSize(0), 1000u);
    EXPECT_EQ(list.FileSize(1), 2048u);
    EXPECT_EQ(list.FileSize(2), std::nullopt);
    EXPECT_EQ(list.FileSize(3), std::nullopt);  // the total row
    EXPECT_TRUE(list.IsChecked(0));
    EXPECT_EQ(list.FilePath(1), dir.Path() + "/b.gif");
    EXPECT_EQ(list.FilePath(3), "");
    EXPECT_FLOAT_EQ(list.TotalKiB(), 2.98f);  // 0.98 + 2.00, not 2.9765625
    EXPECT_EQ(list.ListedBytes(), 3051u);     // 2.98 * 1024 = 3051.52
}

TEST(FileList, ListedBytesIsTheShownTotalTakenBackToBytes) {
    TempDir dir;
    FileListModel exact;
    exact.AddFile(dir.WriteSized("a.bin", 65536));
    exact.AddFile(dir.WriteSized("b.bin", 65536));
    EXPECT_EQ(exact.ListedBytes(), 131072u);  // 128.00k

    FileListModel over;
    over.AddFile(dir.WriteSized("c.bin", 65536));
    over.AddFile(dir.WriteSized("d.bin", 65547));
    EXPECT_EQ(over.ListedBytes(), 131082u);  // 128.01k: 131082.24 truncated
}

TEST(FileList, DuplicatesAreExactByteMatches) {
    TempDir dir;
    FileListModel list;
    std::string lower = dir.Write("page.htm", "x");
    std::string upper = dir.Write("PAGE.htm", "x");
    EXPECT_TRUE(list.AddFile(lower));
    EXPECT_FALSE(list.AddFile(lower));
    EXPECT_TRUE(list.AddFile(upper));
    EXPECT_EQ(list.FileCount(), 2);
    EXPECT_TRUE(list.FindFile(lower));
    EXPECT_FALSE(list.FindFile(dir.Path() + "/other.htm"));
}

TEST(FileList, FiftyFilesAtMost) {
    TempDir dir;
    FileListModel list;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(list.AddFile(dir.Write("f" + std::to_string(i), "data")));
    }
    EXPECT_FALSE(list.AddFile(dir.Write("f50", "data")));
    EXPECT_EQ(list.RowCount(), 51);
    EXPECT_EQ(list.FileCount(), 50);
}

TEST(FileList, AnythingButARegularFileShowsOpenError) {
    TempDir dir;
#ifdef _WIN32
    std::string fifo = "\\\\.\\pipe\\kelvarin-test";  // no such pipe
    std::string device = "NUL";
#else
    std::string fifo = dir.Path() + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string device = "/dev/null";
#endif
    std::string longPath = dir.Path() + "/" + std::string(200, 'd') + "/" + std::string(200, 'e');

    FileListModel list;
    for (const std::string& path :
         {dir.Path(), fifo, device, dir.Path() + "/missing.htm", longPath}) {
        ASSERT_TRUE(list.AddFile(path)) << path;
    }
    for (int row = 0; row < list.FileCount(); ++row) {
        EXPECT_EQ(list.FileSize(row), std::nullopt) << list.FilePath(row);
    }
    EXPECT_EQ(list.FilePath(4), longPath);  // kept whole, never cut
    EXPECT_EQ(list.TotalKiB(), 0.0f);
}

TEST(FileList, RemoveRowRebuildsTotalAndSparesTotalRow) {
    TempDir dir;
    FileListModel list;
    list.AddFile(dir.WriteSized("a", 1024));
    list.AddFile(dir.WriteSized("b", 2048));
    list.RemoveRow(2);  // the total row
    list.RemoveRow(7);  // out of range
    EXPECT_EQ(list.RowCount(), 3);
    list.RemoveRow(0);
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.FilePath(0), dir.Path() + "/b");
    EXPECT_TRUE(list.IsTotalRow(1));
    EXPECT_EQ(list.TotalKiB(), 2.0f);
}

TEST(FileList, DeleteKeyRemovesSelectedRowsHighestFirst) {
    TempDir dir;
    FileListModel list;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        list.AddFile(dir.Write(name, "1"));
    }
    list.SetSelected(0, true);
    list.SetSelected(2, true);
    list.SetSelected(4, true);
    list.OnDeleteKey();
    ASSERT_EQ(list.FileCount(), 2);
    EXPECT_EQ(list.FilePath(0), dir.Path() + "/b");
    EXPECT_EQ(list.FilePath(1), dir.Path() + "/d");

    list.SetSelected(list.RowCount() - 1, true);  // only the total row
    list.OnDeleteKey();
    EXPECT_EQ(list.FileCount(), 2);
}

TEST(FileList, SweepRemovesClearedRowsButNeverTheTotalRow) {
    TempDir dir;
    FileListModel list;
    list.AddFile(dir.WriteSized("a", 1024));
    list.AddFile(dir.WriteSized("b", 1024));
    list.AddFile(dir.WriteSized("c", 1024));
    list.SetChecked(3, true);  // ticking the total row does nothing
    EXPECT_FALSE(list.SweepUnchecked());
    list.SetChecked(0, false);
    list.SetChecked(2, false);
    EXPECT_TRUE(list.SweepUnchecked());
    ASSERT_EQ(list.FileCount(), 1);
    EXPECT_EQ(list.FilePath(0), dir.Path() + "/b");
    EXPECT_EQ(list.TotalKiB(), 1.0f);
}

// Records the notifications a view would receive.
class RecordingObserver : public FileListObserver {
  public:
    void BeforeInsertRow(int row) override { events.push_back("+" + std::to_string(row)); }
    void AfterInsertRow(int) override {}
    void BeforeRemoveRow(int row) override { events.push_back("-" + std::to_string(row)); }
    void AfterRemoveRow(int) override {}
    void RowChanged(int row) override { events.push_back("~" + std::to_string(row)); }
    std::vector<std::string> events;
};

TEST(FileList, ObserverSeesTotalRowReusedThenRebuilt) {
    TempDir dir;
    FileListModel list;
    RecordingObserver observer;
    list.SetObserver(&observer);
    list.AddFile(dir.Write("a", "1"));
    list.AddFile(dir.Write("b", "1"));
    list.RemoveRow(0);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"~0", "+1", "~1", "+2", "-0", "-1", "+1"}));
}

}  // namespace
}  // namespace kelvarin
