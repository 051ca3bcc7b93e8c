// The journal's records of a job: one JSON object a record, its members in
// one order, so that the same facts always make the same text.
#include "job_journal.h"

#include "ascii.h"
#include "image_reader.h"
#include "job_run.h"
#include "user_dirs.h"
#include "utc_time.h"

#include <kelvarin/version.h>

#include <chrono>
#include <set>

#if defined(_WIN32)
#include <process.h>
#define KELVARIN_PID _getpid()
#else
#include <unistd.h>
#define KELVARIN_PID ::getpid()
#endif

namespace kelvarin {

namespace {

// How long the writer is given at the end of a job to write what is left
// (another process holding the journal's lock included).
constexpr std::chrono::milliseconds kJournalFinishTime{10000};

std::string Member(const std::string& key, const std::string& json) {
    return JsonString(key) + ":" + json;
}

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

std::string Flag(bool on) {
    return on ? "true" : "false";
}

const char* OperationName(JobKind kind) {
    switch (kind) {
        case JobKind::kSend:
            return "send";
        case JobKind::kVerify:
            return "verify";
        case JobKind::kPull:
            return "pull";
        case JobKind::kFleet:
            return "fleet";
        case JobKind::kScan:
            return "scan";
        case JobKind::kPack:
            break;
    }
    return "pack";
}

const char* DeltaFallbackName(DeltaFacts::Fallback fallback) {
    switch (fallback) {
        case DeltaFacts::Fallback::kBlank:
            return "blank";
        case DeltaFacts::Fallback::kUnreadable:
            return "unreadable";
        case DeltaFacts::Fallback::kNoImage:
            return "no-image";
        case DeltaFacts::Fallback::kNoRoom:
            return "no-room";
        case DeltaFacts::Fallback::kDuplicateNames:
            return "duplicate-names";
        case DeltaFacts::Fallback::kNone:
            break;
    }
    return "none";
}

const char* OutcomeName(DeviceOutcome outcome) {
    switch (outcome) {
        case DeviceOutcome::kOk:
            return "ok";
        case DeviceOutcome::kCurrent:
            return "current";
        case DeviceOutcome::kNoConnection:
            return "no-connection";
        case DeviceOutcome::kStopped:
            return "stopped";
        case DeviceOutcome::kConnectionLost:
            return "connection-lost";
        case DeviceOutcome::kChunksFailed:
            return "chunks-failed";
        case DeviceOutcome::kDifferent:
            return "different";
        case DeviceOutcome::kUnreadable:
            return "unreadable";
        case DeviceOutcome::kNoImage:
            return "no-image";
        case DeviceOutcome::kBackupNotKept:
            return "backup-not-kept";
        case DeviceOutcome::kNotStarted:
            return "not-started";
        case DeviceOutcome::kPartial:
            break;
    }
    return "partial";
}

// The image member of a record: its hash, length and records.
std::string ImageJson(const std::string& sha256, std::size_t length, std::size_t records) {
    return "{" + Member("sha256", JsonString(sha256)) + "," +
           Member("length", Number(static_cast<std::int64_t>(length))) + "," +
           Member("records", Number(static_cast<std::int64_t>(records))) + "}";
}

std::string ImageJson(std::span<const std::uint8_t> image) {
    return ImageJson(Sha256Hex(BytesText(image)), image.size(),
                     ReadImage(BytesText(image)).records.size());
}

}  // namespace

std::optional<TrustedBase> TrustedBaseFor(const std::string& journalPath, const ImageStore& store,
                                          const FleetTarget& target, std::string* why) {
    std::string error;
    const std::unique_ptr<Journal> journal = Journal::OpenForReading(journalPath, &error);
    if (!journal) {
        *why = "the journal cannot be read: " + error;
        return std::nullopt;
    }
    JournalQuery query;
    query.address = target.address;
    query.port = target.port;
    query.unit = target.unit;
    const std::vector<JournalEntry> entries = journal->Read(query, &error);
    if (!error.empty()) {
        *why = "the journal cannot be read: " + error;
        return std::nullopt;
    }
    // Newest first: an operation begun and never ended since the last write
    // means no one knows what the device holds.
    std::set<std::string> ended;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->phase == "begin") {
            if (!ended.count(entry->id)) {
                *why = "an operation on it never ended (" + entry->time + ")";
                return std::nullopt;
            }
            continue;
        }
        ended.insert(entry->id);
        const bool wrote = entry->operation == "send" || entry->operation == "fleet";
        if (!wrote || entry->dryRun) {
            continue;  // it read, and changed nothing
        }
        // Every chunk echoed (and read back, when it was): a partial site
        // is still exactly the image sent.
        const bool whole = entry->outcome == "ok" || entry->outcome == "current" ||
                           entry->outcome == "partial";
        if (!whole) {
            *why = "its last write did not end with every chunk echoed (" + entry->time + ")";
            return std::nullopt;
        }
        std::optional<std::vector<std::uint8_t>> image = store.Find(entry->imageSha256);
        if (!image) {
            *why = "the image it was last sent is not kept (" + entry->time + ")";
            return std::nullopt;
        }
        return TrustedBase{std::move(*image), entry->time};
    }
    *why = "the journal holds no write of it";
    return std::nullopt;
}

JobJournal::JobJournal(const JobPlan& plan, JobObserver& observer)
    : m_plan(plan), m_observer(observer), m_image("null") {
    if (plan.journal.off || plan.kind == JobKind::kPack) {
        return;
    }
    const std::optional<std::string> where =
        plan.journal.path.empty() ? DefaultJournalPath() : std::optional(plan.journal.path);
    if (!where) {
        m_failed = true;
        observer.OnJournalFailed(kUserPlaceNames.journal, "no state folder is known");
        return;
    }
    m_path = *where;
    // Measured without opening the database: nothing here waits for it.
    const std::uint64_t size = JournalSizeBytes(m_path);
    if (size > plan.journal.warnBytes) {
        observer.OnJournalLarge(m_path, size, plan.journal.warnBytes);
    }
    m_writer = std::make_unique<JournalWriter>(m_path);
}

JobJournal::~JobJournal() {
    Finish();
}

void JobJournal::WaitWritten(std::chrono::milliseconds bound) {
    if (m_writer) {
        m_writer->WaitWritten(bound);
        SayFailure();
    }
}

void JobJournal::Finish() {
    if (!m_writer) {
        return;
    }
    SayFailure();  // a failure during the job; what the end loses is said below
    const JournalWriter::Summary summary = m_writer->Finish(kJournalFinishTime);
    if (summary.lost > 0) {
        m_observer.OnJournalLost(m_path, summary.lost, summary.why);
    }
    m_writer.reset();
}

void JobJournal::SayFailure() {
    const std::optional<std::string> why = m_writer->TakeFailure();
    if (why && !m_failed) {
        m_failed = true;  // said once: every later record fails the same way
        m_observer.OnJournalFailed(m_path, *why);
    }
}

void JobJournal::SetImage(std::span<const std::uint8_t> image) {
    m_image = ImageJson(image);
}

std::string JobJournal::Common(const std::string& phase, const std::string& id,
                               const FleetTarget& target, JobKind kind,
                               const std::string* image) const {
    const TransferOptions& t = m_plan.transfer;
    const std::string window = t.autoWindow ? JsonString("auto") : Number(t.window);
    const std::string options =
        "{" + Member("window", window) + "," +
        Member("chunk", Number(static_cast<std::int64_t>(t.chunkBytes))) + "," +
        Member("retries", Number(t.retries)) + "," +
        Member("timeout_ms", Number(t.timeouts.replyMs)) + "," +
        Member("first_timeout_ms", Number(t.firstReplyMs)) + "," +
        Member("verify", Flag(m_plan.verify)) + "," +
        Member("skip_current", Flag(m_plan.skipCurrent)) + "," +
        Member("all_or_nothing", Flag(m_plan.source.allOrNothing)) + "," +
        Member("backup", Flag(!m_plan.outputs.backupDir.empty())) + "," +
        Member("delta", Flag(m_plan.delta)) + "," +
        Member("trust_journal", Flag(m_plan.trustJournal)) + "," +
        Member("dry_run", Flag(m_plan.dryRun)) + "}";
    const std::string device = "{" + Member("address", JsonString(target.address)) + "," +
                               Member("port", Number(target.port)) + "," +
                               Member("unit", Number(target.unit)) + "}";
    return Head(phase, id, kind) + "," + Member("device", device) + "," +
           Member("image", image ? *image : m_image) + "," + Member("options", options);
}

std::string JobJournal::Head(const std::string& phase, const std::string& id, JobKind kind) const {
    return Member("time", JsonString(UtcText(std::chrono::system_clock::now()))) + "," +
           Member("phase", JsonString(phase)) + "," + Member("id", JsonString(id)) + "," +
           Member("operation", JsonString(OperationName(kind))) + "," +
           Member("user", JsonString(UserName())) + "," +
           Member("host", JsonString(HostName())) + "," +
           Member("program", JsonString(m_plan.journal.program)) + "," +
           Member("version", JsonString(kVersion));
}

std::string JobJournal::NewId() {
    // Unique among every process's operations: the time, the process and a
    // count within it.
    return UtcStamp(std::chrono::system_clock::now()) + "-" + HostName() + "-" +
           std::to_string(KELVARIN_PID) + "-" + std::to_string(++m_counter);
}

std::string JobJournal::Begin(const FleetTarget& target, JobKind kind) {
    if (!m_writer) {
        return {};
    }
    const std::string id = NewId();
    Write("{" + Common("begin", id, target, kind) + "}");
    return id;
}

namespace {

// A scan's own members: its ranges, its port and its units.
std::string ScanMembers(const JobPlan& plan) {
    std::string ranges = "[";
    for (std::size_t i = 0; i < plan.ranges.size(); ++i) {
        ranges += (i == 0 ? "" : ",") + JsonString(plan.ranges[i]);
    }
    std::string units = "[";
    for (std::size_t i = 0; i < plan.units.size(); ++i) {
        units += (i == 0 ? "" : ",") + std::to_string(plan.units[i]);
    }
    return Member("range", ranges + "]") + "," + Member("port", std::to_string(plan.port)) + "," +
           Member("units", units + "]");
}

}  // namespace

std::string JobJournal::BeginScan(const JobPlan& plan) {
    if (!m_writer) {
        return {};
    }
    const std::string id = NewId();
    Write("{" + Head("begin", id, JobKind::kScan) + "," + ScanMembers(plan) + "}");
    return id;
}

void JobJournal::EndScan(const std::string& id, const JobPlan& plan, const JobReport& report) {
    if (!m_writer) {
        return;
    }
    std::string found = "[";
    int connected = 0;
    for (const DeviceReport& device : report.devices) {
        connected += device.facts.connected ? 1 : 0;
        for (const UnitScan& unit : device.facts.scan) {
            if (!unit.identity.Answered()) {
                continue;
            }
            const auto object = [&](std::uint8_t objectId) {
                const std::optional<std::string> value = unit.identity.Object(objectId);
                return value ? JsonString(*value) : std::string("null");
            };
            found += (found.size() > 1 ? "," : "") + std::string("{") +
                     Member("address", JsonString(device.facts.target.address)) + "," +
                     Member("port", Number(device.facts.target.port)) + "," +
                     Member("unit", Number(unit.unit)) + "," +
                     Member("vendor", object(modbus::kVendorName)) + "," +
                     Member("product", object(modbus::kProductCode)) + "," +
                     Member("revision", object(modbus::kMajorMinorRevision)) + "," +
                     Member("image_sha256", unit.imageSha256.empty() ? "null"
                                                                     : JsonString(unit.imageSha256)) +
                     "}";
        }
    }
    Write("{" + Head("end", id, JobKind::kScan) + "," + ScanMembers(plan) + "," +
          Member("outcome", JsonString(report.Outcome() == JobOutcome::kOk ? "ok" : "no-connection")) +
          "," + Member("succeeded", Flag(report.Outcome() == JobOutcome::kOk)) + "," +
          Member("addresses", Number(static_cast<std::int64_t>(report.devices.size()))) + "," +
          Member("connected", Number(connected)) + "," + Member("found", found + "]") + "}");
}

void JobJournal::End(const std::string& id, const DeviceReport& device,
                     const std::vector<std::string>& filesLeftOut) {
    if (!m_writer) {
        return;
    }
    const TargetResult& facts = device.facts;
    std::string verify = "null";
    if (facts.verify) {
        verify = JsonString(facts.verify->outcome == VerifyOutcome::kEqual       ? "equal"
                            : facts.verify->outcome == VerifyOutcome::kDifferent ? "different"
                                                                                 : "unreadable");
    }
    std::string leftOut = "[";
    for (std::size_t i = 0; i < filesLeftOut.size(); ++i) {
        leftOut += (i == 0 ? "" : ",") + JsonString(filesLeftOut[i]);
    }
    leftOut += "]";
    const std::string backup = facts.backupFile.empty() ? "null" : JsonString(facts.backupFile);
    const std::string backupHolds = facts.backupFile.empty() ? "null"
                                    : facts.backupIsMemory   ? JsonString("memory")
                                                             : JsonString("image");
    // Over TLS: how the device was known, so the record says who was written.
    std::string tls = "null";
    if (!facts.tlsVersion.empty()) {
        const std::string& name = m_plan.tls.name;
        const std::string check = name.empty() ? "address" : name == "any" ? "any" : "name";
        tls = "{" + Member("version", JsonString(facts.tlsVersion)) + "," +
              Member("subject", JsonString(facts.tlsSubject)) + "," +
              Member("sha256", JsonString(facts.tlsFingerprint)) + "," +
              Member("name_check", JsonString(check)) + "," +
              Member("name", check == "name" ? JsonString(name) : "null") + "}";
    }
    const DownloadReport& download = facts.download;
    // Written only what changed: how, and the image the device holds now
    // (laid out against its own, so not the job's).
    std::string delta = "null";
    std::string image;
    if (facts.delta) {
        const DeltaFacts& d = *facts.delta;
        delta = "{" + Member("mode", JsonString(d.ModeName())) + "," +
                Member("fallback", JsonString(DeltaFallbackName(d.fallback))) + "," +
                Member("trusted_from", d.trustedFrom.empty() ? "null" : JsonString(d.trustedFrom)) +
                "," + Member("distrust", d.distrust.empty() ? "null" : JsonString(d.distrust)) + "," +
                Member("requests_read", Number(d.readRequests)) + "," +
                Member("bytes_read", Number(static_cast<std::int64_t>(d.readBytes))) + "," +
                Member("chunks_written", Number(d.chunksWritten)) + "," +
                Member("chunks_read_back", Number(d.chunksReadBack)) + "," +
                Member("chunks_full", Number(d.fullChunks)) + "," +
                Member("base_sha256", d.baseSha256.empty() ? "null" : JsonString(d.baseSha256)) +
                "}";
        if (!d.imageSha256.empty()) {
            image = ImageJson(d.imageSha256, d.imageLength,
                              static_cast<std::size_t>(d.imageRecords));
        }
    }
    Write("{" + Common("end", id, facts.target, device.kind, image.empty() ? nullptr : &image) + "," +
          Member("outcome", JsonString(OutcomeName(device.Outcome()))) + "," +
          Member("succeeded", Flag(device.Succeeded())) + "," +
          Member("failed_chunks", Number(download.failedChunks)) + "," +
          Member("retries", Number(download.retries)) + "," +
          Member("reconnects", Number(download.reconnects)) + "," +
          Member("bytes_written", Number(static_cast<std::int64_t>(download.bytesEchoed))) + "," +
          Member("verify", verify) + "," + Member("backup_file", backup) + "," +
          Member("backup_holds", backupHolds) + "," + Member("tls", tls) + "," +
          Member("files_left_out", leftOut) + "," + Member("delta", delta) + "," +
          Member("seconds", JsonSeconds(facts.seconds)) + "}");
}

void JobJournal::Write(const std::string& record) {
    m_writer->Append(record);
    SayFailure();
}

}  // namespace kelvarin
