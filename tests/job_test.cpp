// The job layer: every plan checked before anything is opened, connected or
// written; the order a Send runs in; the one judgement of a device; and
// transaction ids that never repeat on one connection.
#include "job_run.h"

#include "catalog.h"
#include "job_log.h"
#include "memory_link.h"
#include "modbus_frame.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kelvarin {
namespace {

using test::Bytes;
using test::MemoryLink;
using test::TempDir;

class RecordedProgress : public ProgressSink {
  public:
    void SetRange(std::uint32_t low, std::uint32_t high) override { range = {low, high}; }
    void SetPosition(std::uint32_t position) override { positions.push_back(position); }
    std::pair<std::uint32_t, std::uint32_t> range{99, 99};
    std::vector<std::uint32_t> positions;
};

// A job run over a pretend device, with what it logged.
struct JobRunLog {
    JobReport report;
    LogLines log;
    RecordedProgress progress;
};

// What a refusal names, as a command line would name it.
std::string OptionOf(PlanField field) {
    return field == PlanField::kTrace ? "--trace" : field == PlanField::kDump ? "--dump" : "?";
}

JobRunLog RunOver(const JobPlan& plan, CDeviceLink* link, const std::atomic<bool>* stop = nullptr) {
    JobRunLog run;
    const MessageCatalog catalog;
    JobLog log(catalog, run.log, run.progress, OptionOf);
    run.report = RunJob(plan, log, stop, link);
    return run;
}

std::string DeviceBytes(const device::DeviceMemory& memory, std::size_t length) {
    return std::string(memory.Bytes().substr(0, length));
}

// A site of two pages, its packed image, a targets file: the inputs of
// every kind of job.
struct Inputs {
    Inputs() {
        page = dir.WriteSized("index.htm", 700);
        style = dir.WriteSized("style.css", 300, 1);
        std::filesystem::create_directory(TempDir::Native(dir.Path() + "/site"));
        sitePage = dir.WriteSized("site/index.htm", 500, 2);
        targets = dir.Write("targets.txt", "127.0.0.1:1\n");
        JobPlan pack;
        pack.kind = JobKind::kPack;
        pack.source.files = {page};
        pack.outputs.imageFile = dir.Path() + "/image.bin";
        image = pack.outputs.imageFile;
        LogLines quiet;
        RecordedProgress none;
        const MessageCatalog catalog;
        JobLog log(catalog, quiet, none, OptionOf);
        RunJob(pack, log);
    }
    // Every input's bytes, to show none was touched.
    std::vector<std::string> Contents() const {
        return {test::ReadAll(page), test::ReadAll(style), test::ReadAll(sitePage),
                test::ReadAll(targets), test::ReadAll(image)};
    }

    TempDir dir;
    std::string page, style, sitePage, targets, image;
};

TEST(JobPlan, AnOutputNamingAnInputIsRefusedBeforeAnythingIsOpened) {
    Inputs in;
    const std::string& d = in.dir.Path();
    std::error_code noLinks;
    std::filesystem::create_symlink(TempDir::Native(in.page), TempDir::Native(d + "/link.htm"),
                                    noLinks);
    const std::vector<std::string> before = in.Contents();
    enum class Source { kFiles, kSite, kImage };
    enum class Out { kDump, kTrace, kImageFile };
    struct Case {
        JobKind kind;
        Source source;
        Out output;
        std::string path;  // the output, naming an input some way
        PlanFault fault;
    };
    const std::vector<Case> cases = {
        {JobKind::kSend, Source::kFiles, Out::kDump, d + "/./index.htm", PlanFault::kOverwritesFile},
        {JobKind::kSend, Source::kFiles, Out::kTrace, d + "/link.htm", PlanFault::kOverwritesFile},
        {JobKind::kSend, Source::kFiles, Out::kTrace, d + "/site/../style.css",
         PlanFault::kOverwritesFile},
        {JobKind::kSend, Source::kSite, Out::kTrace, d + "/site/index.htm",
         PlanFault::kOverwritesFile},
        {JobKind::kSend, Source::kImage, Out::kTrace, in.image, PlanFault::kOverwritesImage},
        {JobKind::kVerify, Source::kFiles, Out::kTrace, in.page, PlanFault::kOverwritesFile},
        {JobKind::kVerify, Source::kImage, Out::kTrace, in.image, PlanFault::kOverwritesImage},
        {JobKind::kFleet, Source::kFiles, Out::kTrace, in.page, PlanFault::kOverwritesFile},
        {JobKind::kFleet, Source::kFiles, Out::kDump, in.style, PlanFault::kOverwritesFile},
        {JobKind::kFleet, Source::kFiles, Out::kTrace, in.targets, PlanFault::kOverwritesTargets},
        {JobKind::kFleet, Source::kImage, Out::kDump, in.targets, PlanFault::kOverwritesTargets},
        {JobKind::kPack, Source::kFiles, Out::kImageFile, d + "/link.htm",
         PlanFault::kOverwritesFile},
        {JobKind::kPack, Source::kSite, Out::kImageFile, d + "/site/index.htm",
         PlanFault::kOverwritesFile},
    };
    for (const Case& c : cases) {
        if (noLinks && c.path == d + "/link.htm") {
            continue;  // a system that makes no symbolic links here (Windows without the right)
        }
        JobPlan plan;
        plan.kind = c.kind;
        switch (c.source) {
            case Source::kFiles:
                plan.source.files = {in.page, in.style};
                break;
            case Source::kSite:
                plan.source.site = d + "/site";
                break;
            case Source::kImage:
                plan.source.image = in.image;
                break;
        }
        plan.targets = {{"127.0.0.1", 1}};
        plan.targetsFile = in.targets;
        switch (c.output) {
            case Out::kDump:
                plan.outputs.dump = DumpTarget{c.path};
                break;
            case Out::kTrace:
                plan.outputs.trace = c.path;
                break;
            case Out::kImageFile:
                plan.outputs.imageFile = c.path;
                break;
        }
        device::DeviceMemory memory;
        MemoryLink link(memory);
        const JobRunLog run = RunOver(plan, c.kind == JobKind::kFleet ? nullptr : &link);
        const std::string which = c.path + " (kind " + std::to_string(static_cast<int>(c.kind)) + ")";
        ASSERT_TRUE(run.report.refusal) << which;
        EXPECT_EQ(run.report.refusal->fault, c.fault) << which;
        EXPECT_EQ(run.report.Outcome(), JobOutcome::kRefused) << which;
        EXPECT_TRUE(run.report.devices.empty()) << which;
        EXPECT_EQ(link.requests, 0) << which;
        EXPECT_EQ(in.Contents(), before) << which;
        ASSERT_EQ(run.log.Lines().size(), 1u) << which;  // the refusal alone: nothing was packed
    }
}

TEST(JobPlan, TwoOutputsNamingOneFileAreRefused) {
    TempDir dir;
    JobPlan plan;
    plan.source.files = {dir.WriteSized("a.htm", 10)};
    plan.targets = {{"127.0.0.1", 1}};
    plan.outputs.dump = DumpTarget{dir.Path() + "/out"};
    plan.outputs.trace = dir.Path() + "/./out";  // not there yet, spelt another way
    const JobRunLog run = RunOver(plan, nullptr);
    ASSERT_TRUE(run.report.refusal);
    EXPECT_EQ(run.report.refusal->fault, PlanFault::kOutputsCollide);
    EXPECT_EQ(run.report.refusal->field, PlanField::kTrace);
    EXPECT_EQ(run.report.refusal->other, PlanField::kDump);
    EXPECT_EQ(run.log.Lines(),
              (std::vector<std::string>{"--trace和--dump是同一个文件" + dir.Path() +
                                        "/./out，不会让一个覆盖另一个"}));
    EXPECT_FALSE(std::filesystem::exists(TempDir::Native(dir.Path() + "/out")));
}

TEST(JobPlan, ACompareWithNothingPackedIsRefusedAndTheDeviceNotAsked) {
    TempDir dir;
    const std::string gone = dir.Path() + "/gone.htm";
    for (const JobKind kind : {JobKind::kVerify, JobKind::kSend, JobKind::kFleet}) {
        JobPlan plan;
        plan.kind = kind;
        plan.source.files = {gone};
        plan.targets = {{"127.0.0.1", 1}};
        plan.targetsFile = dir.Write("targets", "127.0.0.1:1\n");
        plan.verify = kind == JobKind::kSend;
        plan.skipCurrent = kind == JobKind::kFleet;
        device::DeviceMemory memory;
        MemoryLink link(memory);
        const JobRunLog run = RunOver(plan, kind == JobKind::kFleet ? nullptr : &link);
        ASSERT_TRUE(run.report.refusal);
        EXPECT_EQ(run.report.refusal->fault, PlanFault::kNothingToCompare);
        EXPECT_EQ(run.report.Outcome(), JobOutcome::kRefused);
        EXPECT_EQ(link.requests, 0);
        EXPECT_EQ(run.log.Lines(), (std::vector<std::string>{"正在打包", gone + "打开失败",
                                                             "打包完成", "没有文件被打包，无可校验"}));
    }
}

TEST(JobRun, PacksDumpsAndSendsInTheWindowsOrder) {
    TempDir dir;
    device::DeviceMemory memory;
    MemoryLink link(memory);
    JobPlan plan;
    plan.source.files = {dir.WriteSized("index.htm", 100), dir.Path() + "/gone.htm"};
    plan.outputs.dump = DumpTarget{dir.Path() + "/a.dat"};
    const JobRunLog run = RunOver(plan, &link);

    EXPECT_EQ(run.log.Lines(),
              (std::vector<std::string>{"正在打包", dir.Path() + "/gone.htm打开失败", "打包完成",
                                        "开始发送", "发送结束!!!!!"}));
    const std::string dump = test::ReadAll(dir.Path() + "/a.dat");
    ASSERT_EQ(dump.size(), 192u);
    EXPECT_EQ(DeviceBytes(memory, 192), dump);
    EXPECT_EQ(run.progress.range, std::make_pair(0u, 192u));
    EXPECT_EQ(run.progress.positions, (std::vector<std::uint32_t>{128, 192}));
    EXPECT_TRUE(run.report.dumpWritten);
    // Every chunk echoed, but a file is missing: no success, said one way.
    ASSERT_EQ(run.report.devices.size(), 1u);
    EXPECT_EQ(run.report.devices[0].Outcome(), DeviceOutcome::kPartial);
    EXPECT_EQ(run.report.Outcome(), JobOutcome::kFailed);
}

TEST(JobRun, ADumpThatCannotBeWrittenIsSaidAndTheDownloadGoesOn) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 100);
    const std::string blocked = dir.Write("file", "x") + "/a.dat";  // a folder that is a file
    for (const DumpTarget& dump : {DumpTarget{blocked}, DumpTarget{"~/nowhere/a.dat", false}}) {
        device::DeviceMemory memory;
        MemoryLink link(memory);
        JobPlan plan;
        plan.source.files = {page};
        plan.outputs.dump = dump;
        const JobRunLog run = RunOver(plan, &link);
        EXPECT_EQ(run.log.Lines()[3], "写入文件" + dump.path + "失败");
        EXPECT_EQ(link.requests, 2);
        EXPECT_FALSE(run.report.dumpWritten);
        EXPECT_EQ(run.report.Outcome(), JobOutcome::kOk);
    }
    EXPECT_FALSE(std::filesystem::exists("~"));  // an unusable place is never tried
}

TEST(JobRun, AnEmptyListSendsNothingAndVerifiesNothing) {
    device::DeviceMemory memory;
    MemoryLink link(memory);
    JobPlan plan;
    const JobRunLog sent = RunOver(plan, &link);
    EXPECT_EQ(link.requests, 0);
    EXPECT_EQ(sent.log.Lines(),
              (std::vector<std::string>{"正在打包", "打包完成", "开始发送", "发送结束!!!!!"}));
    plan.verify = true;
    const JobRunLog verified = RunOver(plan, &link);
    EXPECT_EQ(link.requests, 0);
    EXPECT_EQ(verified.report.Outcome(), JobOutcome::kRefused);
    EXPECT_EQ(verified.log.Lines().back(), "没有文件被打包，无可校验");
}

TEST(JobRun, TransactionIdsNeverRepeatOnOneConnection) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 5000);
    for (const int window : {1, 4}) {
        device::DeviceMemory memory;
        MemoryLink link(memory);
        JobPlan plan;
        plan.source.files = {page};
        plan.transfer.window = window;
        plan.verify = true;
        // Two Sends with their read-backs on one connection, as the window
        // makes them.
        EXPECT_EQ(RunOver(plan, &link).report.Outcome(), JobOutcome::kOk);
        EXPECT_EQ(RunOver(plan, &link).report.Outcome(), JobOutcome::kOk);
        std::multiset<std::uint16_t> ids;
        int zero = 0;
        for (const Bytes& request : link.Requests()) {
            const std::uint16_t id = modbus::TransactionOf(request.data());
            if (id == 0) {
                ++zero;  // the default's writes
            } else {
                ids.insert(id);
            }
        }
        for (const std::uint16_t id : ids) {
            EXPECT_EQ(ids.count(id), 1u) << "id " << id << " window " << window;
        }
        // One request in flight: the writes carry 0, as designed.
        EXPECT_EQ(zero, window == 1 ? 2 * 40 : 0);
    }
}

TEST(TransactionIds, WrapPast65535ToOneNeverZero) {
    TransactionIds ids;
    for (int i = 1; i < 65535; ++i) {
        ids.Take();
    }
    EXPECT_EQ(ids.Take(), 65535);
    EXPECT_EQ(ids.Take(), 1);
    EXPECT_TRUE(TransactionIds::Among(2, 65534, 4));   // 65534, 65535, 1, 2
    EXPECT_FALSE(TransactionIds::Among(3, 65534, 4));
    EXPECT_FALSE(TransactionIds::Among(0, 65534, 4));
}

TEST(JobRun, AReadBackThatLosesTheConnectionSaysTheLinkIsGone) {
    TempDir dir;
    device::DeviceMemory memory;
    class Restarting : public MemoryLink {
      public:
        using MemoryLink::MemoryLink;

      protected:
        void OnRequest(int n, const Bytes& request) override {
            if (request[modbus::kFunctionAt] == modbus::kReadFileRecord) {
                CloseConnection();  // the device restarts once it is written
                return;
            }
            MemoryLink::OnRequest(n, request);
        }
    } link(memory);
    JobPlan plan;
    plan.source.files = {dir.WriteSized("index.htm", 300)};
    plan.verify = true;
    const JobRunLog run = RunOver(plan, &link);
    EXPECT_TRUE(run.report.ConnectionLost());
    EXPECT_EQ(run.report.Outcome(), JobOutcome::kUnreadable);
    EXPECT_EQ(run.log.Lines().end()[-2], "无法回读：读取偏移0时连接中断");
}

TEST(JobRun, AStopSendsNothingMoreAndSaysWhatTheDeviceHolds) {
    TempDir dir;
    device::DeviceMemory memory;
    std::atomic<bool> stop{false};
    MemoryLink link(memory, [&stop](int n, std::string reply) {
        stop = stop || n == 3;
        return reply;
    });
    JobPlan plan;
    plan.source.files = {dir.WriteSized("index.htm", 2000)};
    const JobRunLog run = RunOver(plan, &link, &stop);
    EXPECT_EQ(link.requests, 3);
    EXPECT_EQ(run.report.Outcome(), JobOutcome::kStopped);
    EXPECT_FALSE(run.report.ConnectionLost());
    EXPECT_EQ(run.log.Lines().back(),
              "发送已中断：设备只收到了映像2092字节中的前384字节，现在保存的是不完整的映像");
}

TEST(JobRun, ABackupIsNamedByItsWholePathWhereverItWasAskedFrom) {
    TempDir dir;
    device::DeviceMemory memory;
    const std::string page = dir.WriteSized("index.htm", 500);
    JobPlan plan;
    plan.source.files = {page};
    plan.targets = {{"127.0.0.1", 1}};
    plan.outputs.dump = DumpTarget{dir.Path() + "/a.dat"};
    plan.journal.off = true;
    MemoryLink first(memory);
    ASSERT_EQ(RunOver(plan, &first).report.Outcome(), JobOutcome::kOk);
    // Asked for as a folder relative to where the job runs.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(TempDir::Native(dir.Path()));
    plan.outputs.backupDir = "backups";
    MemoryLink second(memory);
    const JobRunLog run = RunOver(plan, &second);
    std::filesystem::current_path(before);
    ASSERT_EQ(run.report.Outcome(), JobOutcome::kOk);
    const std::string kept = run.report.devices.at(0).facts.backupFile;
    EXPECT_TRUE(std::filesystem::path(TempDir::Native(kept)).is_absolute()) << kept;
    const std::filesystem::path keptPath = TempDir::Native(kept);
    ASSERT_TRUE(std::filesystem::exists(keptPath)) << kept;
    EXPECT_TRUE(std::filesystem::equivalent(keptPath.parent_path(),
                                            TempDir::Native(dir.Path() + "/backups")))
        << kept;
    EXPECT_EQ(keptPath.filename().string().rfind("127.0.0.1-1-0-", 0), 0u) << kept;
}

TEST(JobReport, OneJudgementOfADevice) {
    const auto device = [](auto change) {
        DeviceReport report;
        report.facts.connected = true;
        report.facts.downloaded = true;
        report.facts.download.imageLength = 128;
        change(report);
        return report;
    };
    VerifyReport equal;
    equal.outcome = VerifyOutcome::kEqual;
    VerifyReport lost;
    lost.failure = Outcome::kConnectionLost;
    struct Case {
        DeviceReport report;
        DeviceOutcome outcome;
    };
    const std::vector<Case> cases = {
        {device([](DeviceReport&) {}), DeviceOutcome::kOk},
        {device([](DeviceReport& r) { r.filesLeftOut = 1; }), DeviceOutcome::kPartial},
        {device([](DeviceReport& r) { r.facts.connected = false; }), DeviceOutcome::kNoConnection},
        {device([](DeviceReport& r) { r.facts.download.failedChunks = 2; }),
         DeviceOutcome::kChunksFailed},
        {device([](DeviceReport& r) { r.facts.download.connectionLost = true; }),
         DeviceOutcome::kConnectionLost},
        {device([&](DeviceReport& r) { r.facts.verify = lost; }), DeviceOutcome::kUnreadable},
        {device([&](DeviceReport& r) {
             r.facts.current = true;
             r.facts.downloaded = false;
             r.facts.precheck = equal;
         }),
         DeviceOutcome::kCurrent},
        {device([&](DeviceReport& r) {
             r.facts.downloaded = false;
             r.facts.precheck = lost;
         }),
         DeviceOutcome::kConnectionLost},
        {device([](DeviceReport& r) { r.stopped = true; }), DeviceOutcome::kStopped},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].report.Outcome(), cases[i].outcome) << i;
        const bool good = cases[i].outcome == DeviceOutcome::kOk ||
                          cases[i].outcome == DeviceOutcome::kCurrent;
        EXPECT_EQ(cases[i].report.Succeeded(), good) << i;
    }
}

}  // namespace
}  // namespace kelvarin
