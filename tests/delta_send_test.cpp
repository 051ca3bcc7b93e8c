// Writing only what changed, run as a send over the simulated device's own
// request handling: whatever the device held (Kelvarin's last image, a
// foreign one, a few bytes changed behind Kelvarin's back, a blank memory),
// it ends serving exactly the new files, and only what differed was written.
#include "job_run.h"

#include "catalog.h"
#include "image_reader.h"
#include "job_log.h"
#include "memory_link.h"
#include "modbus_frame.h"
#include "packer.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace kelvarin {
namespace {

using test::MemoryLink;
using test::TempDir;

class NoProgress : public ProgressSink {
  public:
    void SetRange(std::uint32_t, std::uint32_t) override {}
    void SetPosition(std::uint32_t) override {}
};

// What a device with memory serves: each path's response.
std::map<std::string, std::string> Served(const device::DeviceMemory& memory) {
    std::map<std::string, std::string> served;
    for (const ImageRecord& record : ReadImage(memory.Bytes()).records) {
        served.emplace(std::string(record.path), std::string(record.response));
    }
    return served;
}

std::map<std::string, std::string> Served(const std::vector<std::uint8_t>& image) {
    std::map<std::string, std::string> served;
    const std::string_view text(reinterpret_cast<const char*>(image.data()), image.size());
    for (const ImageRecord& record : ReadImage(text).records) {
        served.emplace(std::string(record.path), std::string(record.response));
    }
    return served;
}

// A device, and sends of a site to it as the command line makes them.
struct Bench {
    TempDir dir;
    device::DeviceMemory memory;
    int writes = 0;  // Write File Record requests
    int reads = 0;   // Read File Record requests

    std::vector<std::string> Site(const std::vector<std::size_t>& sizes,
                                  const std::vector<unsigned>& seeds) const {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            paths.push_back(
                dir.WriteSized("p" + std::to_string(i) + ".htm", sizes[i], seeds[i]));
        }
        return paths;
    }

    JobReport Send(const std::vector<std::string>& files, bool delta, LogLines* log = nullptr,
                   bool dryRun = false) {
        JobPlan plan;
        plan.source.files = files;
        plan.targets = {{"127.0.0.1", 1}};
        plan.outputs.dump = DumpTarget{dir.Path() + "/a.dat"};
        plan.journal.off = true;
        plan.delta = delta;
        plan.dryRun = dryRun;
        writes = reads = 0;
        MemoryLink link(memory, [this](int, std::string reply) {
            (reply[modbus::kFunctionAt] == modbus::kWriteFileRecord ? writes : reads) += 1;
            return reply;
        });
        LogLines lines;
        NoProgress progress;
        const MessageCatalog catalog;
        JobLog observer(catalog, log ? *log : lines, progress, nullptr);
        return RunJob(plan, observer, nullptr, &link);
    }

    std::vector<std::uint8_t> Packed(const std::vector<std::string>& files) const {
        return PackImage({PackFilesFor(files), std::nullopt, {}}).image;
    }
};

TEST(DeltaSend, AnEditWritesOnlyItsChunksAndTheDeviceServesTheNewFiles) {
    Bench bench;
    std::vector<std::string> site = bench.Site({9000, 20000, 7000, 30000}, {1, 2, 3, 4});
    ASSERT_EQ(bench.Send(site, false).Outcome(), JobOutcome::kOk);
    const int full = bench.writes;
    // The same files again: nothing differs, nothing is written.
    const JobReport same = bench.Send(site, true);
    EXPECT_EQ(same.devices.at(0).Outcome(), DeviceOutcome::kCurrent);
    EXPECT_EQ(bench.writes, 0);
    // One page edited in place: a few chunks written and read back.
    site[1] = bench.dir.WriteSized("p1.htm", 20000, 9);
    LogLines log;
    const JobReport edit = bench.Send(site, true, &log);
    EXPECT_EQ(edit.Outcome(), JobOutcome::kOk);
    EXPECT_LT(bench.writes, full / 3);
    EXPECT_GT(bench.writes, 0);
    EXPECT_TRUE(Served(bench.memory) == Served(bench.Packed(site)));
    const DeltaFacts& delta = *edit.devices.at(0).facts.delta;
    EXPECT_EQ(delta.base, DeltaFacts::Base::kRead);
    EXPECT_EQ(delta.chunksWritten, bench.writes);
    EXPECT_EQ(delta.chunksReadBack, delta.chunksWritten);
    EXPECT_EQ(delta.fullChunks, full);
    // The dump holds what the device holds.
    EXPECT_EQ(test::ReadAll(bench.dir.Path() + "/a.dat"),
              std::string(bench.memory.Bytes().substr(0, delta.imageLength)));
    const std::string plan = "增量：设备中的映像用" + std::to_string(delta.readRequests) +
                             "个请求读出（" + std::to_string(delta.readBytes) + "字节）；需写入" +
                             std::to_string(delta.chunksWritten) + "个数据块（" +
                             std::to_string(delta.bytesWritten) + "字节），完整发送需写入" +
                             std::to_string(full) + "个";
    EXPECT_NE(std::find(log.Lines().begin(), log.Lines().end(), plan), log.Lines().end());
    // A page grown and a new one: still exactly the new files.
    site[2] = bench.dir.WriteSized("p2.htm", 7500, 3);
    site.push_back(bench.dir.WriteSized("new.htm", 3000, 7));
    EXPECT_EQ(bench.Send(site, true).Outcome(), JobOutcome::kOk);
    EXPECT_TRUE(Served(bench.memory) == Served(bench.Packed(site)));
}

TEST(DeltaSend, WhatAnotherWriterLeftIsReadAndMadeExact) {
    Bench bench;
    // A foreign image: other files, other layout.
    const std::vector<std::string> foreign = bench.Site({5000, 5000, 5000}, {7, 8, 9});
    const std::vector<std::uint8_t> theirs = bench.Packed({foreign[2], foreign[0]});
    bench.memory.Write(0, std::string(theirs.begin(), theirs.end()));
    const std::vector<std::string> site = {foreign[0], foreign[1]};
    EXPECT_EQ(bench.Send(site, true).Outcome(), JobOutcome::kOk);
    EXPECT_TRUE(Served(bench.memory) == Served(bench.Packed(site)));
    // A few bytes changed in place behind Kelvarin's back: found and put right.
    const std::string_view served = ReadImage(bench.memory.Bytes()).records.back().contents;
    const std::size_t at = static_cast<std::size_t>(served.data() - bench.memory.Bytes().data()) + 100;
    bench.memory.Write(at, "XYZ");
    const JobReport fixed = bench.Send(site, true);
    EXPECT_EQ(fixed.Outcome(), JobOutcome::kOk);
    EXPECT_EQ(bench.writes, 1);
    EXPECT_TRUE(Served(bench.memory) == Served(bench.Packed(site)));
}

TEST(DeltaSend, ABlankOrFullDeviceGetsTheWholeImageSaid) {
    Bench bench;
    const std::vector<std::string> site = bench.Site({3000, 4000}, {1, 2});
    LogLines log;
    EXPECT_EQ(bench.Send(site, true, &log).Outcome(), JobOutcome::kOk);
    EXPECT_NE(std::find(log.Lines().begin(), log.Lines().end(),
                        "增量：设备的存储区是空的，发送完整映像"),
              log.Lines().end());
    EXPECT_TRUE(Served(bench.memory) == Served(bench.Packed(site)));
    // A device so full that what changed finds no room: the whole image.
    const std::vector<std::string> big = bench.Site({40000, 40000, 40000}, {1, 2, 3});
    ASSERT_EQ(bench.Send(big, false).Outcome(), JobOutcome::kOk);
    std::vector<std::string> grown = big;
    grown[1] = bench.dir.WriteSized("p1.htm", 45000, 2);
    const JobReport whole = bench.Send(grown, true);
    EXPECT_EQ(whole.devices.at(0).facts.delta->fallback, DeltaFacts::Fallback::kNoRoom);
    EXPECT_TRUE(Served(bench.memory) == Served(bench.Packed(grown)));
}

TEST(DeltaSend, ADryRunWritesNothingAndSaysWhatWouldBe) {
    Bench bench;
    std::vector<std::string> site = bench.Site({9000, 9000}, {1, 2});
    ASSERT_EQ(bench.Send(site, false).Outcome(), JobOutcome::kOk);
    const std::string before(bench.memory.Bytes());
    site[0] = bench.dir.WriteSized("p0.htm", 9000, 5);
    for (const bool delta : {true, false}) {
        LogLines log;
        const JobReport dry = bench.Send(site, delta, &log, true);
        EXPECT_EQ(dry.Outcome(), JobOutcome::kOk);
        EXPECT_EQ(bench.writes, 0);
        EXPECT_EQ(std::string(bench.memory.Bytes()), before);
        EXPECT_TRUE(dry.devices.at(0).facts.dryRun);
        EXPECT_EQ(log.Lines().back().rfind("试运行：将写入", 0), 0u) << log.Lines().back();
    }
}

}  // namespace
}  // namespace kelvarin
