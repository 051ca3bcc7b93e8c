// A job from its plan to its report: every check before anything is opened,
// connected or written, then the one order every front end sends in.
#include "job_run.h"

#include "ascii.h"
#include "file_list.h"
#include "ipv4.h"
#include "job_journal.h"
#include "files.h"
#include "fleet.h"
#include "delta_layout.h"
#include "image_file.h"
#include "image_store.h"
#include "net.h"
#include "paths.h"
#include "site_folder.h"
#include "utc_time.h"
#include "wire_trace.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>

namespace kelvarin {

namespace {

// How long a single device's operation waits for its first journal record
// to be written before it goes on all the same.
constexpr std::chrono::milliseconds kFirstRecordWait{2000};

// What an input of a job is, for the message that refuses to overwrite it.
enum class InputKind { kFile, kImage, kTargets, kTls };

struct Input {
    std::string path;
    InputKind kind;
};

// An output of a job.
struct Output {
    PlanField field;
    std::string path;
};

// The file a device's backup is kept in, in folder (made absolute, so the
// journal names it wherever it is read): ADDRESS-PORT-UNIT-
// YYYYMMDDTHHMMSSZ.img, UTC, with -2, -3, ... when that name is taken, the
// name taken exclusively so that two runs never share one and nothing planted
// there is followed. Memory that holds no sound image is kept whole as
// ...-memory.bin. Kept whole or not at all: the file's path, or empty with
// the path and why in *error.
std::string KeepBackup(const std::string& folder, const FleetTarget& target,
                       std::span<const std::uint8_t> bytes, bool memory, std::string* error) {
    std::error_code ignored;
    const std::string absolute =
        Utf8FromPath(std::filesystem::absolute(PathFromUtf8(folder), ignored));
    const std::string stem = (absolute.empty() ? folder : absolute) + "/" + target.address + "-" +
                             std::to_string(target.port) + "-" + std::to_string(target.unit) +
                             "-" + UtcStamp(std::chrono::system_clock::now());
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return KeepNewFile(stem, memory ? "-memory.bin" : ".img", text, error).value_or("");
}

// Tells the fleet's devices to the observer as they finish, keeps their
// backups and journals each.
class FleetRelay : public FleetObserver {
  public:
    using Keeper =
        std::function<std::string(const FleetTarget&, const KeepRequest&, std::string*)>;

    FleetRelay(JobObserver& observer, const std::vector<std::string>& leftOut, Keeper keep,
               JobJournal& journal)
        : m_observer(observer), m_leftOut(leftOut), m_keep(std::move(keep)), m_journal(journal) {}

    void OnTargetStart(const FleetTarget& target) override {
        m_ids[target.Text()] = m_journal.Begin(target, JobKind::kFleet);
    }

    std::string OnKeep(const FleetTarget& target, const KeepRequest& request,
                       std::string* error) override {
        return m_keep(target, request, error);
    }

    void OnTargetDone(const DeviceReport& device) override {
        if (device.facts.started) {
            m_journal.End(m_ids[device.facts.target.Text()], device, m_leftOut);
        }
        m_observer.OnDeviceDone(device);
    }

  private:
    JobObserver& m_observer;
    const std::vector<std::string>& m_leftOut;
    Keeper m_keep;
    JobJournal& m_journal;
    std::map<std::string, std::string> m_ids;  // operation ids by target
};

// A scan's addresses, told to the observer as each is done.
class ScanRelay : public FleetObserver {
  public:
    explicit ScanRelay(JobObserver& observer) : m_observer(observer) {}

    void OnTargetDone(const DeviceReport& device) override {
        if (device.facts.connected) {
            m_observer.OnScanned(device);
        }
    }

  private:
    JobObserver& m_observer;
};

// Addresses scanned at once by default.
constexpr std::size_t kScanJobs = 256;

class JobRun {
  public:
    JobRun(const JobPlan& plan, JobObserver& observer, const std::atomic<bool>* stop,
           CDeviceLink* connected)
        : m_plan(plan), m_observer(observer), m_stop(stop), m_connected(connected) {
        m_report.kind = plan.kind;
    }

    JobReport Run();

  private:
    // Refuses the job: nothing more is done. Returns false.
    bool Refuse(PlanProblem problem, const PackResult* packed = nullptr);
    bool ReadSource();
    bool MakeTls();
    bool ReadTargets();
    bool ReadImage();
    bool CheckOutputs();
    bool Pack();
    bool OpenTrace();
    bool StopAsked() const { return m_stop && m_stop->load(); }
    // send and fleet write devices; the other kinds only read.
    bool Writes() const { return m_plan.kind == JobKind::kSend || m_plan.kind == JobKind::kFleet; }
    bool WriteDump(std::span<const std::uint8_t> image);
    void RunPack();
    // The blocking driver of the one device's operation (send, verify,
    // pull, the window's Send).
    void RunDevice();
    OperationPlan DevicePlan(const FleetTarget& target);
    // A delta's records, the image store, and what the journal says each
    // device holds.
    void PrepareDelta();
    // Keeps what the operation asks to be kept: where, or empty with why.
    std::string Keep(const FleetTarget& target, const KeepRequest& request, std::string* error);
    void RunFleet();
    // Every address of the ranges on one poll loop, each asked who it is and
    // what image it holds; only reads.
    void RunScan();

    const JobPlan& m_plan;
    JobObserver& m_observer;
    const std::atomic<bool>* m_stop;
    CDeviceLink* m_connected;
    JobReport m_report;

    std::unique_ptr<JobJournal> m_journal;
    std::shared_ptr<tls::Context> m_tls;
    std::vector<Input> m_inputs;
    std::optional<PackRequest> m_request;  // when files are packed
    std::vector<std::uint8_t> m_image;
    WireTrace m_trace;
    bool m_dumpIsImage = false;  // the dump file is the image file sent: it holds the image
    // A delta's: the records the image was packed into (an image file's own).
    PackResult m_fresh;
    // With --trust-journal: what each device holds by Kelvarin's records
    // (by target text), or why that cannot be trusted.
    std::map<std::string, TrustedBase> m_trusted;
    std::map<std::string, std::string> m_distrust;
    std::string m_store;  // the image store's folder; empty: none is kept
};

JobReport JobRun::Run() {
    // Everything that can be refused is refused before anything is opened,
    // connected or written.
    if (!ReadSource() || !ReadTargets() || !ReadImage() || !MakeTls() || !CheckOutputs() ||
        !Pack() || !OpenTrace()) {
        return m_report;
    }
    m_report.imageLength = m_image.size();
    // Opened after every check, before anything goes to a device.
    m_journal = std::make_unique<JobJournal>(m_plan, m_observer);
    PrepareDelta();
    if (m_plan.kind != JobKind::kPull) {
        m_journal->SetImage(m_image);
    }
    switch (m_plan.kind) {
        case JobKind::kPack:
            RunPack();
            break;
        case JobKind::kSend:
        case JobKind::kVerify:
        case JobKind::kPull:
            RunDevice();
            break;
        case JobKind::kFleet:
            RunFleet();
            break;
        case JobKind::kScan:
            RunScan();
            break;
    }
    m_journal->Finish();
    return m_report;
}

bool JobRun::Refuse(PlanProblem problem, const PackResult* packed) {
    problem.kind = m_plan.kind;
    m_observer.OnRefused(problem, packed);
    m_report.refusal = std::move(problem);
    return false;
}

bool JobRun::ReadSource() {
    const JobSource& source = m_plan.source;
    if (m_plan.kind == JobKind::kPull) {
        return true;  // the image comes from the device
    }
    if (m_plan.kind == JobKind::kScan && source.files.empty() && source.site.empty() &&
        source.image.empty()) {
        return true;  // nothing to compare devices with
    }
    if (!source.image.empty()) {
        m_inputs.push_back({source.image, InputKind::kImage});
        return true;
    }
    PackOptions options = source.pack;
    if (!source.root.empty()) {
        if (!IsReadableFolder(source.root)) {
            return Refuse(PlanProblem::Of(PlanFault::kNotAFolder, PlanField::kRoot, source.root));
        }
        options.siteRoot = source.root;
    }
    if (!source.site.empty()) {
        options.siteRoot = source.site;
    }
    std::vector<std::string> files = source.files;
    if (!source.site.empty()) {
        std::optional<SiteListing> found = SiteFiles(source.site);
        if (!found) {
            return Refuse(PlanProblem::Of(PlanFault::kNotAFolder, PlanField::kSite, source.site));
        }
        // What a static web server would not serve either is named, not
        // counted against the site: the image holds what the server serves.
        for (const SkippedEntry& skipped : found->skipped) {
            m_observer.OnSiteSkipped(skipped);
        }
        if (found->files.empty()) {
            return Refuse(PlanProblem::Of(PlanFault::kNoFilesInFolder, PlanField::kSite, source.site));
        }
        files = std::move(found->files);
    }
    // The file list's rules: a path given twice is listed once, at most 50.
    FileListModel list;
    std::vector<std::string> leftOut = source.leftOut;
    for (const std::string& path : files) {
        if (!list.FindFile(path) && !list.AddFile(path)) {
            leftOut.push_back(path);
        }
    }
    for (const std::string& path : files) {
        m_inputs.push_back({path, InputKind::kFile});
    }
    for (const std::string& path : source.leftOut) {
        m_inputs.push_back({path, InputKind::kFile});
    }
    m_request = PackRequest{PackFilesFor(list.FilePaths(), options),
                            source.listedBytes ? source.listedBytes : list.ListedBytes(), options,
                            std::move(leftOut)};
    m_request->allOrNothing = source.allOrNothing;
    return true;
}

bool JobRun::MakeTls() {
    const TlsPlan& plan = m_plan.tls;
    if (!plan.on || m_plan.kind == JobKind::kPack) {
        return true;
    }
    for (const std::string& file : {plan.cert, plan.key, plan.ca, plan.keyPasswordFile}) {
        if (!file.empty()) {
            m_inputs.push_back({file, InputKind::kTls});
        }
    }
    if (m_connected) {
        return true;  // connected over TLS already (the window): its files were used then
    }
    PlanProblem problem;
    m_tls = TlsContextFor(plan, &problem);
    if (!m_tls) {
        return Refuse(std::move(problem));
    }
    // Used all the same, as ssh uses it, but said.
    if (IsReadableByOthers(plan.key)) {
        m_observer.OnTlsKeyReadable(plan.key);
    }
    if (plan.name == "any") {
        m_observer.OnTlsAnyName();
    }
    return true;
}

bool JobRun::ReadTargets() {
    if (m_plan.kind == JobKind::kScan) {
        for (const std::string& range : m_plan.ranges) {
            std::string why;
            const std::optional<std::vector<std::uint32_t>> addresses = ParseRange(range, &why);
            if (!addresses) {
                PlanProblem problem = PlanProblem::Of(PlanFault::kRange, PlanField::kRange, range);
                problem.error = why;
                return Refuse(std::move(problem));
            }
            for (const std::uint32_t address : *addresses) {
                m_report.targets.push_back({DottedQuadText(address), m_plan.port, 0});
            }
        }
        return true;
    }
    if (m_plan.kind != JobKind::kFleet) {
        m_report.targets = m_plan.targets;
        return true;
    }
    TargetsFile file = kelvarin::ReadTargets(m_plan.targetsFile, m_plan.transfer.unit);
    if (!file.Ok()) {
        PlanProblem problem = PlanProblem::Of(PlanFault::kTargets, PlanField::kTargets, m_plan.targetsFile);
        problem.targets = std::move(file);
        return Refuse(std::move(problem));
    }
    m_report.targets = std::move(file.targets);
    m_inputs.push_back({m_plan.targetsFile, InputKind::kTargets});
    return true;
}

bool JobRun::ReadImage() {
    if (m_plan.source.image.empty()) {
        return true;
    }
    ImageFile file = LoadImageFile(m_plan.source.image);
    if (file.fault != ImageFileFault::kNone) {
        PlanProblem problem = PlanProblem::Of(PlanFault::kImageFile, PlanField::kImage, m_plan.source.image);
        problem.image = std::move(file);
        return Refuse(std::move(problem));
    }
    m_image.assign(file.bytes.begin(), file.bytes.end());
    m_report.imageSha256 = Sha256Hex(file.bytes);
    return true;
}

bool JobRun::CheckOutputs() {
    const JobOutputs& outputs = m_plan.outputs;
    std::vector<Output> written;
    if (!outputs.imageFile.empty()) {
        written.push_back({PlanField::kOutput, outputs.imageFile});
    }
    if (!outputs.dump.path.empty() && Writes()) {
        // The dump is only ever the image's own bytes: over the image file
        // it came from, it is not written at all (that file holds them).
        if (!m_plan.source.image.empty() && IsSameFile(outputs.dump.path, m_plan.source.image)) {
            m_dumpIsImage = true;
        } else {
            written.push_back({PlanField::kDump, outputs.dump.path});
        }
    }
    if (!outputs.trace.empty()) {
        written.push_back({PlanField::kTrace, outputs.trace});
    }
    if (!outputs.targetsOut.empty()) {
        written.push_back({PlanField::kTargetsOut, outputs.targetsOut});
    }
    if (!m_plan.journal.off && m_plan.kind != JobKind::kPack) {
        const std::optional<std::string> journal =
            m_plan.journal.path.empty() ? DefaultJournalPath() : std::optional(m_plan.journal.path);
        if (journal) {
            written.push_back({PlanField::kJournal, *journal});
        }
    }
    for (std::size_t i = 0; i < written.size(); ++i) {
        const Output& output = written[i];
        for (const Input& input : m_inputs) {
            if (!IsSameFile(output.path, input.path)) {
                continue;
            }
            const PlanFault fault = input.kind == InputKind::kImage     ? PlanFault::kOverwritesImage
                                    : input.kind == InputKind::kTargets ? PlanFault::kOverwritesTargets
                                    : input.kind == InputKind::kTls     ? PlanFault::kOverwritesTls
                                                                        : PlanFault::kOverwritesFile;
            return Refuse(PlanProblem::Of(fault, output.field, output.path));
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (IsSamePlace(output.path, written[j].path)) {
                PlanProblem problem =
                    PlanProblem::Of(PlanFault::kOutputsCollide, output.field, output.path);
                problem.other = written[j].field;
                return Refuse(std::move(problem));
            }
        }
    }
    // The backup folder last, once nothing else is refused: it is made
    // when missing.
    if (!outputs.backupDir.empty() && Writes() && !MakeFolders(outputs.backupDir)) {
        return Refuse(
            PlanProblem::Of(PlanFault::kBackupUnusable, PlanField::kBackup, outputs.backupDir));
    }
    return true;
}

bool JobRun::Pack() {
    if (!m_request) {
        return true;
    }
    m_report.pack = PackImage(*m_request);
    const PackResult& packed = *m_report.pack;
    m_image = packed.image;
    m_report.imageSha256 = Sha256Hex(BytesText(m_image));
    for (const PackedFile& file : packed.files) {
        if (file.outcome != FileOutcome::kPacked) {
            m_report.leftOut.push_back(file.path);
        }
    }
    m_report.leftOut.insert(m_report.leftOut.end(), packed.leftOut.begin(), packed.leftOut.end());
    // An image of no files matches any device: a compare would prove
    // nothing, and the device is not asked.
    const bool compares = m_plan.kind == JobKind::kVerify || m_plan.verify || m_plan.skipCurrent;
    if (compares && m_plan.kind != JobKind::kPack && packed.Packed() == 0) {
        PlanProblem problem = PlanProblem::Of(PlanFault::kNothingToCompare);
        return Refuse(problem, &packed);
    }
    // All or nothing: settled before connecting, so a partial image never
    // reaches a device (or a file).
    if (m_request->allOrNothing && !packed.Complete()) {
        return Refuse(PlanProblem::Of(PlanFault::kPartial), &packed);
    }
    return true;
}

bool JobRun::OpenTrace() {
    const std::string& path = m_plan.outputs.trace;
    if (path.empty() || m_plan.kind == JobKind::kPack) {
        return true;
    }
    if (m_trace.Open(path)) {
        m_report.traceWritten = true;
        return true;
    }
    if (m_plan.outputs.traceOptional) {
        m_observer.OnTraceFailed(path);
        return true;
    }
    return Refuse(PlanProblem::Of(PlanFault::kTraceUnwritable, PlanField::kTrace, path),
                  m_report.pack ? &*m_report.pack : nullptr);
}

bool JobRun::WriteDump(std::span<const std::uint8_t> image) {
    const DumpTarget& dump = m_plan.outputs.dump;
    if (dump.path.empty()) {
        return false;
    }
    if (m_dumpIsImage) {
        return true;
    }
    const bool written = dump.usable && WriteWholeFile(dump.path, BytesText(image));
    if (!written) {
        m_observer.OnDumpFailed(dump.path);
    }
    return written;
}

void JobRun::RunPack() {
    const PackResult& packed = *m_report.pack;
    m_observer.OnPacked(packed);
    std::string error;
    if (!WriteWholeFile(m_plan.outputs.imageFile, BytesText(m_image), &error)) {
        PlanProblem problem = PlanProblem::Of(PlanFault::kImageNotWritten, PlanField::kOutput,
                                              m_plan.outputs.imageFile);
        problem.error = error;
        problem.kind = JobKind::kPack;
        m_observer.OnRefused(problem, nullptr);
        m_report.refusal = std::move(problem);
        return;
    }
    m_observer.OnImageWritten(m_plan.outputs.imageFile);
}

OperationPlan JobRun::DevicePlan(const FleetTarget& target) {
    OperationPlan plan;
    plan.kind = m_plan.kind;
    plan.image = m_image;
    plan.transfer = m_plan.transfer;
    plan.transfer.unit = static_cast<std::uint8_t>(target.unit);
    plan.verify = m_plan.verify;
    plan.skipCurrent = m_plan.skipCurrent;
    // A dry run writes nothing: no backup, no dump, nothing stored.
    const bool writes = Writes() && !m_plan.dryRun;
    plan.backup = writes && !m_plan.outputs.backupDir.empty();
    plan.dump = writes && m_plan.kind == JobKind::kSend;  // a fleet's is written once, before it
    plan.store = writes && !m_store.empty();
    plan.connected = m_connected != nullptr;
    plan.filesLeftOut = m_report.leftOut.size();
    plan.trace = m_trace.IsOpen() ? &m_trace : nullptr;
    plan.delta = m_plan.delta;
    plan.fresh = m_plan.delta ? &m_fresh : nullptr;
    plan.dryRun = m_plan.dryRun;
    const auto trusted = m_trusted.find(target.Text());
    plan.trusted = trusted == m_trusted.end() ? nullptr : &trusted->second;
    const auto distrust = m_distrust.find(target.Text());
    plan.distrust = distrust == m_distrust.end() ? std::string() : distrust->second;
    return plan;
}

void JobRun::PrepareDelta() {
    if (!Writes()) {
        return;
    }
    if (!m_journal->Path().empty()) {
        m_store = ImageStoreFolder(m_journal->Path());
    }
    if (!m_plan.delta) {
        return;
    }
    m_fresh = m_report.pack ? *m_report.pack : RecordsOf(m_image);
    if (!m_plan.trustJournal) {
        return;
    }
    for (const FleetTarget& target : m_report.targets) {
        std::string why;
        std::optional<TrustedBase> base =
            m_store.empty() ? std::nullopt
                            : TrustedBaseFor(m_journal->Path(), ImageStore(m_store), target, &why);
        if (base) {
            m_trusted.emplace(target.Text(), std::move(*base));
        } else {
            m_distrust.emplace(target.Text(), m_store.empty() ? "no journal" : why);
        }
    }
}

void JobRun::RunDevice() {
    const FleetTarget target = m_plan.targets.empty() ? FleetTarget{} : m_plan.targets.front();
    CSocketLink own;
    CDeviceLink& link = m_connected ? *m_connected : static_cast<CDeviceLink&>(own);
    const OperationPlan plan = DevicePlan(target);
    // The journal's first record before anything goes to the device, its
    // second once the operation is over, however it ends. One device:
    // nothing else waits, so the first record goes in before the device is
    // touched (unless the journal stays locked that long).
    const std::string journalId = m_journal->Begin(target, m_plan.kind);
    m_journal->WaitWritten(kFirstRecordWait);
    DeviceOperation operation(plan, target, link, m_observer);
    for (bool done = false; !done;) {
        if (StopAsked()) {
            operation.Stop();
        }
        switch (operation.Next(link.Now())) {
            case DeviceOperation::Step::kConnect: {
                const bool ok = m_connected ||
                                ConnectDevice(own, target, plan.transfer.timeouts, m_stop, m_tls);
                if (!ok && StopAsked()) {
                    operation.Stop();  // the connect was given up on request
                }
                operation.Connected(ok);
                if (ok && m_report.pack) {
                    m_observer.OnPacked(*m_report.pack);
                }
                break;
            }
            case DeviceOperation::Step::kTransfer:
                RunTransfer(operation.Running(), link, plan.transfer, m_stop);
                break;
            case DeviceOperation::Step::kKeep: {
                std::string error;
                const std::string where = Keep(target, operation.ToKeep(), &error);
                operation.Kept(where, error);
                break;
            }
            case DeviceOperation::Step::kDone:
                done = true;
                break;
        }
    }
    if (!m_connected) {
        own.Close();
    }
    if (m_plan.kind == JobKind::kPull && !m_image.empty()) {
        m_journal->SetImage(m_image);
    }
    m_journal->End(journalId, operation.Report(), m_report.leftOut);
    m_report.devices.push_back(operation.Report());
}

std::string JobRun::Keep(const FleetTarget& target, const KeepRequest& request,
                         std::string* error) {
    switch (request.what) {
        case KeepRequest::What::kDump:
            m_report.dumpWritten = WriteDump(request.bytes);
            return m_report.dumpWritten ? m_plan.outputs.dump.path : std::string();
        case KeepRequest::What::kStore:
            // Kelvarin's own record of what the device holds; one that
            // cannot be kept only means a later delta reads the device.
            return ImageStore(m_store).Keep(request.bytes, error) ? m_store : std::string();
        case KeepRequest::What::kBackup:
            return KeepBackup(m_plan.outputs.backupDir, target, request.bytes, request.memory,
                              error);
        case KeepRequest::What::kPulled:
            break;
    }
    m_image.assign(request.bytes.begin(), request.bytes.end());
    m_report.imageLength = m_image.size();
    m_report.imageSha256 = Sha256Hex(BytesText(m_image));
    WriteWholeFile(m_plan.outputs.imageFile, BytesText(m_image), error);
    return m_plan.outputs.imageFile;
}

void JobRun::RunFleet() {
    if (m_report.pack) {
        m_observer.OnPacked(*m_report.pack);
    }
    m_report.dumpWritten = !m_plan.dryRun && WriteDump(m_image);
    RaiseOpenFileLimit();
    FleetOptions options;
    // All at once by default, as many as one wait of this system holds.
    options.jobs = m_plan.jobs > 0 ? m_plan.jobs
                                   : static_cast<int>(std::min<std::size_t>(
                                         kMaxFleetJobs, net::MaxWaitSockets()));
    options.tls = m_tls;
    options.canary = m_plan.canary;
    options.maxFailures = m_plan.maxFailures;
    options.timeouts = m_plan.transfer.timeouts;
    options.planFor = [this](const FleetTarget& target) { return DevicePlan(target); };
    options.filesLeftOut = m_report.leftOut.size();
    FleetRelay relay(m_observer, m_report.leftOut,
                     [this](const FleetTarget& target, const KeepRequest& request,
                            std::string* error) { return Keep(target, request, error); },
                     *m_journal);
    m_report.devices = SendToFleet(m_report.targets, options, relay);
}

void JobRun::RunScan() {
    RaiseOpenFileLimit();
    FleetOptions options;
    options.jobs = m_plan.jobs > 0 ? m_plan.jobs
                                   : static_cast<int>(std::min<std::size_t>(
                                         {kScanJobs, kMaxFleetJobs, net::MaxWaitSockets()}));
    options.tls = m_tls;
    options.timeouts = m_plan.transfer.timeouts;
    options.stop = m_stop;
    options.planFor = [this](const FleetTarget&) {
        OperationPlan plan;
        plan.kind = JobKind::kScan;
        plan.image = m_image;  // what each unit is compared with; empty: nothing
        plan.transfer = m_plan.transfer;
        plan.units = m_plan.units;
        plan.trace = m_trace.IsOpen() ? &m_trace : nullptr;
        return plan;
    };
    ScanRelay relay(m_observer);
    const std::string id = m_journal->BeginScan(m_plan);
    m_report.devices = SendToFleet(m_report.targets, options, relay);
    m_report.stopped = StopAsked();
    m_journal->EndScan(id, m_plan, m_report);
    if (!m_plan.outputs.targetsOut.empty()) {
        std::string text = "# Devices that answered a scan of";
        for (const std::string& range : m_plan.ranges) {
            text += " " + range;
        }
        text += " (kelvarin-cli scan)\n";
        for (const DeviceReport& device : m_report.devices) {
            for (const UnitScan& unit : device.facts.scan) {
                if (unit.identity.Answered()) {
                    text += device.facts.target.address + ":" +
                            std::to_string(device.facts.target.port) + "/" +
                            std::to_string(unit.unit) + "\n";
                }
            }
        }
        std::string error;
        if (!WriteWholeFile(m_plan.outputs.targetsOut, text, &error)) {
            m_report.targetsOutError = error;
            m_observer.OnTargetsOutFailed(m_plan.outputs.targetsOut, error);
        }
    }
}

}  // namespace

bool ConnectDevice(CSocketLink& link, const FleetTarget& target, const LinkTimeouts& timeouts,
                   const std::atomic<bool>* stop, std::shared_ptr<tls::Context> tls) {
    link.Close();
    link.SetTls(std::move(tls));
    if (!link.Open(0, false, timeouts) || !link.Connect(target.address, target.port, stop)) {
        link.Close();
        return false;
    }
    return true;
}

std::shared_ptr<tls::Context> TlsContextFor(const TlsPlan& plan, PlanProblem* problem) {
    if (!plan.on) {
        return nullptr;
    }
    tls::ClientSettings settings;
    settings.cert = plan.cert;
    settings.key = plan.key;
    settings.ca = plan.ca;
    settings.name = plan.name;
    settings.keyPassword = plan.keyPassword;
    if (!plan.keyPasswordFile.empty()) {
        const std::optional<std::string> passphrase = tls::ReadPassphrase(plan.keyPasswordFile);
        if (!passphrase) {
            *problem = PlanProblem::Of(PlanFault::kTlsFiles, PlanField::kKeyPasswordFile,
                                       plan.keyPasswordFile);
            problem->tlsFailure = tls::Failure::kKeyUnreadable;
            problem->error = plan.keyPasswordFile + ": cannot be read";
            return nullptr;
        }
        settings.keyPassword = *passphrase;
    }
    tls::Failure failure = tls::Failure::kNone;
    std::string detail;
    std::shared_ptr<tls::Context> context = tls::Context::Client(settings, &failure, &detail);
    if (!context) {
        const PlanField field = failure == tls::Failure::kCertUnreadable ? PlanField::kCert
                                : failure == tls::Failure::kCaUnreadable ? PlanField::kCa
                                                                         : PlanField::kKey;
        *problem = PlanProblem::Of(PlanFault::kTlsFiles, field);
        problem->tlsFailure = failure;
        problem->error = detail;
    }
    return context;
}

JobReport RunJob(const JobPlan& plan, JobObserver& observer, const std::atomic<bool>* stop,
                 CDeviceLink* connected) {
    return JobRun(plan, observer, stop, connected).Run();
}

}  // namespace kelvarin
