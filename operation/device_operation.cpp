// The sequence on one device, stage by stage: each stage hands its driver a
// transfer or bytes to keep, and its end decides the next.
#include "device_operation.h"

#include "ascii.h"
#include "image_reader.h"
#include "journal.h"
#include "wire_trace.h"

#include <algorithm>

namespace kelvarin {

DeviceOperation::DeviceOperation(const OperationPlan& plan, const FleetTarget& target,
                                 TransferIo& connection, OperationObserver& observer)
    : m_plan(plan), m_connection(connection), m_observer(observer), m_image(plan.image) {
    m_report.kind = plan.kind;
    m_report.facts.target = target;
    m_report.filesLeftOut = plan.filesLeftOut;
}

DeviceOperation::~DeviceOperation() = default;

DeviceOperation::Step DeviceOperation::Next(TimePoint now) {
    m_now = now;
    switch (m_stage) {
        case Stage::kStart:
            m_start = now;
            m_stage = Stage::kConnect;
            return Step::kConnect;
        case Stage::kWork:
            return Work();
        case Stage::kPrecheck:
            return EndPrecheck();
        case Stage::kBackup:
            return NextBackupRound();
        case Stage::kDump:
            return BeginDownload();
        case Stage::kDownload:
            return EndDownload();
        case Stage::kReadBack:
            return EndReadBack();
        case Stage::kPull:
            return NextPullRound();
        case Stage::kKeepBackup:
            return EndBackup(m_keptWhere, m_keptError);
        case Stage::kTrustCheck:
            return EndTrustCheck();
        case Stage::kBase:
            return NextBaseRound();
        case Stage::kDeltaWrite:
            return EndDownload();
        case Stage::kIdentify:
            return NextIdentifyRound();
        case Stage::kScanImage:
            return NextScanImageRound();
        case Stage::kStore:
            return m_report.facts.delta ? AfterDeltaWrite() : AfterDownload();
        case Stage::kDeltaReadBack:
            return EndDeltaReadBack();
        case Stage::kKeepPulled:
            return EndPull(m_keptWhere, m_keptError);
        case Stage::kConnect:  // Connected was not told: nothing to go on with
        case Stage::kEnd:
        case Stage::kDone:
            break;
    }
    return Finish();
}

void DeviceOperation::Connected(bool ok) {
    TargetResult& facts = m_report.facts;
    const ConnectionFacts connection = m_connection.Facts();
    facts.connected = ok;
    facts.tlsFailure = connection.tlsFailure;
    facts.tlsDetail = connection.tlsDetail;
    facts.tlsVersion = connection.tlsVersion;
    facts.tlsSubject = connection.tlsSubject;
    facts.tlsFingerprint = connection.tlsFingerprint;
    if (!ok) {
        // A connect given up on request is a stop, not a failure to say.
        if (m_stopAsked) {
            m_report.stopped = true;
        } else {
            m_observer.OnConnected(facts.target, false, facts);
        }
        m_stage = Stage::kEnd;
        return;
    }
    if (!m_plan.connected) {
        m_observer.OnConnected(facts.target, true, facts);
        if (m_plan.trace && !connection.Text().empty()) {
            m_plan.trace->Note(m_plan.label, "connected (" + connection.Text() + ")");
        }
    }
    if (!facts.tlsVersion.empty()) {
        m_observer.OnTlsInUse();
    }
    m_stage = Stage::kWork;
}

void DeviceOperation::Kept(const std::string& where, const std::string& error) {
    m_keptWhere = where;
    m_keptError = error;
}

void DeviceOperation::Stop() {
    m_stopAsked = true;
    if (m_running) {
        m_running->Stop();
    }
}

DeviceOperation::Step DeviceOperation::Work() {
    switch (m_plan.kind) {
        case JobKind::kPull:
            return StartPull();
        case JobKind::kVerify:
            return StartReadBack(false);
        case JobKind::kScan:
            return StartScanUnit();
        default:
            break;
    }
    if (m_plan.delta && m_plan.fresh) {
        return StartDelta();
    }
    if (m_plan.dryRun) {
        // A whole image, as a send writes it: its plan, at the round trip
        // the connect took.
        DeltaFacts& plan = m_report.facts.delta.emplace();
        plan.onlyChanges = false;
        plan.roundTripMs = std::chrono::duration<double, std::milli>(m_now - m_start).count();
        return LayOut();
    }
    if (m_plan.skipCurrent) {
        return StartPrecheck();
    }
    return m_plan.backup ? StartBackup() : StartDownload();
}

DeviceOperation::Step DeviceOperation::Transferring(Stage stage, Transfer& transfer, bool traced) {
    m_stage = stage;
    m_running = &transfer;
    if (traced && m_plan.trace) {
        transfer.SetTrace(m_plan.trace, m_plan.label);
    }
    if (m_stopAsked) {
        transfer.Stop();  // begun stopped: it ends at once, saying so
    }
    return Step::kTransfer;
}

std::optional<DeviceOperation::Step> DeviceOperation::PullRound(Stage stage) {
    if (Transfer* round = m_pull->NextRound()) {
        return Transferring(stage, *round, false);
    }
    m_read = m_pull->Report();
    m_pull.reset();
    return std::nullopt;
}

DeviceOperation::Step DeviceOperation::Keeping(Stage stage, KeepRequest request) {
    m_stage = stage;
    m_running = nullptr;
    m_keep = request;
    return Step::kKeep;
}

// ---- Read first: leave alone a device that holds the image already ----

DeviceOperation::Step DeviceOperation::StartPrecheck() {
    m_readBack = std::make_unique<ImageReadBack>(m_image, m_plan.transfer, m_observer,
                                                 m_connection.Transactions());
    return Transferring(Stage::kPrecheck, m_readBack->Driven(), true);
}

DeviceOperation::Step DeviceOperation::EndPrecheck() {
    const VerifyReport found = m_readBack->Report();
    const bool givenUp = m_readBack->Driven().ConnectionGivenUp();
    m_report.facts.precheck = found;
    m_readBack.reset();
    if (found.outcome == VerifyOutcome::kEqual) {
        m_report.facts.current = true;
        return Finish();
    }
    if (givenUp) {
        return Finish();  // nothing can be sent over a connection that is gone
    }
    if (found.stopped) {
        m_report.stopped = true;
        return Finish();
    }
    return m_plan.backup ? StartBackup() : StartDownload();
}

// ---- Back up: what the device holds, kept before it is written ----

DeviceOperation::Step DeviceOperation::StartBackup() {
    m_observer.OnReadOutStart(true);
    m_pull = std::make_unique<ImagePull>(m_plan.transfer, m_observer, m_connection.Transactions(),
                                         m_plan.trace, m_plan.label);
    m_pull->KeepDamagedMemory();
    m_stage = Stage::kBackup;
    return NextBackupRound();
}

DeviceOperation::Step DeviceOperation::NextBackupRound() {
    if (std::optional<Step> round = PullRound(Stage::kBackup)) {
        return *round;
    }
    const bool memory = m_read.outcome == PullOutcome::kNoImage && !m_read.memory.empty();
    if (m_read.outcome == PullOutcome::kImage || memory) {
        return Keeping(Stage::kKeepBackup,
                       {KeepRequest::What::kBackup, memory ? m_read.memory : m_read.image, memory});
    }
    return EndBackup({}, {});
}

DeviceOperation::Step DeviceOperation::EndBackup(const std::string& where,
                                                 const std::string& error) {
    TargetResult& facts = m_report.facts;
    const PullOutcome outcome = m_read.outcome;
    const bool memory = outcome == PullOutcome::kNoImage && !m_read.memory.empty();
    const bool kept = error.empty() && !where.empty();
    if (outcome == PullOutcome::kImage || memory) {
        facts.backupFile = kept ? where : std::string();
        facts.backupIsMemory = memory;
        facts.backupNotKept = !kept;
        facts.backupError = error;
    }
    m_observer.OnReadOut(m_read, facts.backupFile, error, true);
    m_read.image.clear();
    m_read.memory.clear();
    facts.pull = std::move(m_read);
    m_read = {};
    if (outcome == PullOutcome::kStopped) {
        m_report.stopped = true;
    }
    // A blank device has nothing to keep; one that could not be read, or
    // whose image or memory could not be kept, is not written.
    if ((outcome != PullOutcome::kNoImage && outcome != PullOutcome::kImage) ||
        facts.backupNotKept) {
        return Finish();
    }
    m_stage = Stage::kWork;  // until the download begins
    return m_baseAfterBackup ? LayOut() : StartDownload();
}

// ---- The download, and the read-back after it ----

DeviceOperation::Step DeviceOperation::StartDownload() {
    std::size_t bytes = m_image.size();
    if (m_chunks) {
        bytes = m_report.facts.delta->bytesWritten;
    }
    m_observer.OnSendStart(bytes);
    if (m_plan.dump) {
        return Keeping(Stage::kDump, {KeepRequest::What::kDump, m_image, false});
    }
    return BeginDownload();
}

DeviceOperation::Step DeviceOperation::BeginDownload() {
    m_report.facts.downloaded = true;
    m_download = m_chunks ? std::make_unique<ChunkedDownload>(m_image, *m_chunks, m_plan.transfer,
                                                              m_observer, m_connection.Transactions())
                          : std::make_unique<ChunkedDownload>(m_image, m_plan.transfer, m_observer,
                                                              m_connection.Transactions());
    return Transferring(m_report.facts.delta ? Stage::kDeltaWrite : Stage::kDownload,
                        m_download->Driven(), true);
}

DeviceOperation::Step DeviceOperation::EndDownload() {
    const DownloadReport report = m_download->Report();
    m_report.facts.download = report;
    m_observer.OnSendEnd(report);
    if (report.stopped) {
        m_report.stopped = true;
        return Finish();
    }
    if (report.Succeeded() && m_plan.store) {
        return Keeping(Stage::kStore, {KeepRequest::What::kStore, m_image, false});
    }
    return m_report.facts.delta ? AfterDeltaWrite() : AfterDownload();
}

DeviceOperation::Step DeviceOperation::AfterDownload() {
    // A failed download is not read back: its outcome is already known.
    if (!m_plan.verify || !m_report.facts.download.Succeeded()) {
        return Finish();
    }
    if (m_stopAsked) {
        m_report.stopped = true;
        return Finish();
    }
    return StartReadBack(true);
}

DeviceOperation::Step DeviceOperation::StartReadBack(bool afterSend) {
    m_afterSend = afterSend;
    m_observer.OnVerifyStart();
    m_readBack = std::make_unique<ImageReadBack>(m_image, m_plan.transfer, m_observer,
                                                 m_connection.Transactions());
    return Transferring(Stage::kReadBack, m_readBack->Driven(), true);
}

DeviceOperation::Step DeviceOperation::EndReadBack() {
    const VerifyReport read = m_readBack->Report();
    m_readBack.reset();
    m_report.facts.verify = read;
    if (read.stopped) {
        m_report.stopped = true;
        return Finish();
    }
    m_observer.OnVerified(read, m_afterSend);
    // A compare alone says that the image it compared lacks files (a send
    // has said so as it packed).
    if (!m_afterSend && m_plan.filesLeftOut > 0) {
        m_observer.OnVerifyPartial(m_plan.filesLeftOut);
    }
    return Finish();
}

// ---- Delta: only what changed, against what the device holds ----

namespace {

// Where a base from the journal is checked: every record head, and a few
// reads spread over the image.
std::vector<ReadPlan::Range> TrustRanges(std::span<const std::uint8_t> image) {
    std::vector<ReadPlan::Range> ranges;
    const ImageWalk walk =
        ReadImage(BytesText(image));
    for (const ImageRecord& record : walk.records) {
        ranges.emplace_back(record.offset, record.offset + kHeadSize);
    }
    constexpr std::size_t kSamples = 8;
    constexpr std::size_t kSampleBytes = modbus::kMaxReadWords * 2;  // one read each
    for (std::size_t i = 0; i < kSamples && image.size() > 0; ++i) {
        const std::size_t start = (image.size() * i / kSamples) & ~std::size_t{1};
        ranges.emplace_back(start, std::min(start + kSampleBytes, image.size()));
    }
    std::sort(ranges.begin(), ranges.end());
    return ranges;
}

DeltaFacts::Fallback FallbackOf(AfreshReason why) {
    switch (why) {
        case AfreshReason::kNoRoom:
            return DeltaFacts::Fallback::kNoRoom;
        case AfreshReason::kDuplicateNames:
            return DeltaFacts::Fallback::kDuplicateNames;
        case AfreshReason::kNoBase:
            return DeltaFacts::Fallback::kNoImage;
        case AfreshReason::kNone:
            break;
    }
    return DeltaFacts::Fallback::kNone;
}

std::string HashOf(std::span<const std::uint8_t> bytes) {
    return Sha256Hex(BytesText(bytes));
}

}  // namespace

DeviceOperation::Step DeviceOperation::StartDelta() {
    DeltaFacts& delta = m_report.facts.delta.emplace();
    delta.fullChunks = static_cast<int>(WritePlan(m_plan.image, m_plan.transfer.chunkBytes).Count());
    delta.distrust = m_plan.distrust;
    if (!m_plan.trusted) {
        return StartBaseRead();
    }
    delta.trustedFrom = m_plan.trusted->time;
    m_observer.OnDeltaStart(delta, true);
    m_readStart = m_now;
    m_readBack = std::make_unique<ImageReadBack>(m_plan.trusted->image,
                                                 TrustRanges(m_plan.trusted->image),
                                                 m_plan.transfer, m_observer,
                                                 m_connection.Transactions());
    return Transferring(Stage::kTrustCheck, m_readBack->Driven(), true);
}

DeviceOperation::Step DeviceOperation::EndTrustCheck() {
    DeltaFacts& delta = *m_report.facts.delta;
    const VerifyReport check = m_readBack->Report();
    m_readBack.reset();
    delta.readRequests += check.requests;
    delta.readBytes += check.length;
    if (check.stopped) {
        m_report.stopped = true;
        return Finish();
    }
    if (check.outcome == VerifyOutcome::kEqual) {
        m_base = m_plan.trusted->image;
        delta.base = DeltaFacts::Base::kTrusted;
        delta.trustedFrom = m_plan.trusted->time;
        delta.roundTripMs =
            std::chrono::duration<double, std::milli>(m_now - m_readStart).count() /
            std::max(check.requests, 1);
        return LayOut();
    }
    delta.distrust = check.outcome == VerifyOutcome::kDifferent
                         ? "the device holds other bytes than it says"
                         : "its check could not be read";
    delta.trustedFrom.clear();
    return StartBaseRead();
}

DeviceOperation::Step DeviceOperation::StartBaseRead() {
    const bool backup = m_plan.backup && !m_plan.dryRun;
    m_observer.OnDeltaStart(*m_report.facts.delta, false);
    if (backup) {
        m_observer.OnReadOutStart(true);  // the base is the backup too
    }
    m_pull = std::make_unique<ImagePull>(m_plan.transfer, m_observer, m_connection.Transactions(),
                                         m_plan.trace, m_plan.label);
    if (backup) {
        m_pull->KeepDamagedMemory();
    }
    m_readStart = m_now;
    m_stage = Stage::kBase;
    return NextBaseRound();
}

DeviceOperation::Step DeviceOperation::NextBaseRound() {
    if (std::optional<Step> round = PullRound(Stage::kBase)) {
        return *round;
    }
    DeltaFacts& delta = *m_report.facts.delta;
    delta.readRequests += m_read.requests;
    delta.readBytes += m_read.bytesRead;
    delta.roundTripMs = std::chrono::duration<double, std::milli>(m_now - m_readStart).count() /
                        std::max(m_read.requests, 1);
    switch (m_read.outcome) {
        case PullOutcome::kImage:
            m_base = m_read.image;
            delta.base = DeltaFacts::Base::kRead;
            break;
        case PullOutcome::kNoImage:
            delta.fallback =
                m_read.blank ? DeltaFacts::Fallback::kBlank : DeltaFacts::Fallback::kNoImage;
            break;
        case PullOutcome::kUnreadable:
            delta.fallback = DeltaFacts::Fallback::kUnreadable;
            break;
        case PullOutcome::kStopped:
            m_report.stopped = true;
            return Finish();
    }
    if (m_plan.backup && !m_plan.dryRun) {
        // Kept (or found blank, or unreadable) as a backup is: LayOut follows.
        m_baseAfterBackup = true;
        const bool memory = m_read.outcome == PullOutcome::kNoImage && !m_read.memory.empty();
        if (m_read.outcome == PullOutcome::kImage || memory) {
            return Keeping(Stage::kKeepBackup, {KeepRequest::What::kBackup,
                                                memory ? m_read.memory : m_read.image, memory});
        }
        return EndBackup({}, {});
    }
    m_read = {};
    return LayOut();
}

DeviceOperation::Step DeviceOperation::LayOut() {
    DeltaFacts& delta = *m_report.facts.delta;
    if (!m_base.empty()) {
        DeltaLayout layout = LayOutAgainst(*m_plan.fresh, m_base);
        delta.fallback = FallbackOf(layout.afresh);
        if (layout.afresh == AfreshReason::kNone) {
            delta.baseSha256 = HashOf(m_base);
            m_laidOut = std::move(layout.image);
            m_image = m_laidOut;
            m_chunks = DifferingChunks(m_image, m_base, m_plan.transfer.chunkBytes);
        }
    }
    if (delta.fallback != DeltaFacts::Fallback::kNone) {
        delta.base = DeltaFacts::Base::kNone;
        m_image = m_plan.image;
        m_chunks.reset();
    }
    const WritePlan writes = m_chunks ? WritePlan(m_image, m_plan.transfer.chunkBytes, 0, *m_chunks)
                                      : WritePlan(m_image, m_plan.transfer.chunkBytes);
    delta.chunksWritten = static_cast<int>(writes.Count());
    delta.bytesWritten = 0;
    for (std::size_t i = 0; i < writes.Count(); ++i) {
        delta.bytesWritten += writes.Length(i);
    }
    delta.imageSha256 = HashOf(m_image);
    delta.imageLength = m_image.size();
    delta.imageRecords = static_cast<int>(ReadImage(BytesText(m_image)).records.size());
    if (m_plan.dryRun) {
        // What a write would take: its requests and, after a delta, the
        // reads of its read-back, at the round trip measured.
        const TransferOptions& options = m_plan.transfer;
        const int inFlight = options.autoWindow ? 1 : std::max(options.window, 1);
        if (delta.onlyChanges) {
            delta.readBackRequests =
                static_cast<int>(ReadPlan(m_image, WrittenRanges(), options.unit).Count());
        }
        delta.estimateSeconds = (delta.chunksWritten + delta.readBackRequests) *
                                delta.roundTripMs / 1000.0 / inFlight;
        m_report.facts.dryRun = true;
        m_observer.OnDeltaPlan(delta);
        m_observer.OnDryRun(delta);
        return Finish();
    }
    m_observer.OnDeltaPlan(delta);
    if (m_chunks && m_chunks->empty()) {
        m_report.facts.current = true;  // it serves the new files already
        return Finish();
    }
    return StartDownload();
}

std::vector<ReadPlan::Range> DeviceOperation::WrittenRanges() const {
    if (!m_chunks) {
        return {{0, m_image.size()}};
    }
    std::vector<ReadPlan::Range> written;
    const WritePlan writes(m_image, m_plan.transfer.chunkBytes, 0, *m_chunks);
    for (std::size_t i = 0; i < writes.Count(); ++i) {
        written.emplace_back(writes.Start(i), writes.Start(i) + writes.Length(i));
    }
    return written;
}

DeviceOperation::Step DeviceOperation::AfterDeltaWrite() {
    const DeltaFacts& delta = *m_report.facts.delta;
    // A device that could not be read before cannot be read back either.
    if (!m_report.facts.download.Succeeded() ||
        delta.fallback == DeltaFacts::Fallback::kUnreadable) {
        return Finish();
    }
    m_readBack = std::make_unique<ImageReadBack>(m_image, WrittenRanges(), m_plan.transfer,
                                                 m_observer, m_connection.Transactions());
    return Transferring(Stage::kDeltaReadBack, m_readBack->Driven(), true);
}

DeviceOperation::Step DeviceOperation::EndDeltaReadBack() {
    DeltaFacts& delta = *m_report.facts.delta;
    const VerifyReport read = m_readBack->Report();
    m_readBack.reset();
    delta.readBack = read;
    if (read.stopped) {
        m_report.stopped = true;
        return Finish();
    }
    delta.chunksReadBack = read.outcome == VerifyOutcome::kEqual ? delta.chunksWritten : 0;
    m_observer.OnDeltaDone(delta);
    if (m_plan.verify && read.outcome == VerifyOutcome::kEqual) {
        if (m_stopAsked) {
            m_report.stopped = true;
            return Finish();
        }
        return StartReadBack(true);
    }
    return Finish();
}

// ---- Scan: who each unit is, and what image it holds; reads only ----

DeviceOperation::Step DeviceOperation::StartScanUnit() {
    if (m_scanUnit >= m_plan.units.size()) {
        return Finish();
    }
    m_unitOptions = m_plan.transfer;
    m_unitOptions.unit = static_cast<std::uint8_t>(m_plan.units[m_scanUnit]);
    UnitScan asked;
    asked.unit = m_plan.units[m_scanUnit];
    m_report.facts.scan.push_back(std::move(asked));
    m_identify = std::make_unique<DeviceIdentify>(m_unitOptions, m_observer,
                                                  m_connection.Transactions(), m_plan.trace,
                                                  m_plan.label);
    m_stage = Stage::kIdentify;
    return NextIdentifyRound();
}

DeviceOperation::Step DeviceOperation::NextIdentifyRound() {
    if (Transfer* round = m_identify->NextRound()) {
        return Transferring(Stage::kIdentify, *round, false);
    }
    UnitScan& unit = m_report.facts.scan.back();
    unit.identity = m_identify->Report();
    m_identify.reset();
    if (unit.identity.answer == IdentityReport::Answer::kStopped) {
        m_report.stopped = true;
        return Finish();
    }
    if (!unit.identity.Answered()) {
        ++m_scanUnit;  // nobody there: its image is not asked for either
        return StartScanUnit();
    }
    m_pull = std::make_unique<ImagePull>(m_unitOptions, m_observer, m_connection.Transactions(),
                                         m_plan.trace, m_plan.label);
    m_stage = Stage::kScanImage;
    return NextScanImageRound();
}

DeviceOperation::Step DeviceOperation::NextScanImageRound() {
    if (std::optional<Step> round = PullRound(Stage::kScanImage)) {
        return *round;
    }
    UnitScan& unit = m_report.facts.scan.back();
    PullReport read = std::move(m_read);
    m_read = {};
    if (read.outcome == PullOutcome::kStopped) {
        m_report.stopped = true;
        return Finish();
    }
    if (read.outcome == PullOutcome::kImage) {
        unit.imageSha256 = HashOf(read.image);
        unit.imageBytes = read.image.size();
        unit.imageRecords = static_cast<int>(ReadImage(BytesText(read.image)).records.size());
    }
    if (!m_plan.image.empty()) {
        unit.current = read.outcome == PullOutcome::kImage &&
                       std::equal(read.image.begin(), read.image.end(), m_plan.image.begin(),
                                  m_plan.image.end());
    }
    read.image.clear();
    unit.image = std::move(read);
    ++m_scanUnit;
    return StartScanUnit();
}

// ---- Pull: the image the device holds, read out and kept ----

DeviceOperation::Step DeviceOperation::StartPull() {
    m_observer.OnReadOutStart(false);
    m_pull = std::make_unique<ImagePull>(m_plan.transfer, m_observer, m_connection.Transactions(),
                                         m_plan.trace, m_plan.label);
    m_stage = Stage::kPull;
    return NextPullRound();
}

DeviceOperation::Step DeviceOperation::NextPullRound() {
    if (std::optional<Step> round = PullRound(Stage::kPull)) {
        return *round;
    }
    if (m_read.outcome == PullOutcome::kImage) {
        return Keeping(Stage::kKeepPulled, {KeepRequest::What::kPulled, m_read.image, false});
    }
    return EndPull({}, {});
}

DeviceOperation::Step DeviceOperation::EndPull(const std::string& where,
                                               const std::string& error) {
    const PullOutcome outcome = m_read.outcome;
    m_report.stopped = outcome == PullOutcome::kStopped;
    m_report.facts.backupNotKept =
        outcome == PullOutcome::kImage && (!error.empty() || where.empty());
    m_observer.OnReadOut(m_read, where, error, false);
    m_read.image.clear();
    m_report.facts.pull = std::move(m_read);
    m_read = {};
    return Finish();
}

// ---- The end ----

DeviceOperation::Step DeviceOperation::Finish() {
    m_running = nullptr;
    if (m_stage == Stage::kDone) {
        return Step::kDone;
    }
    TargetResult& facts = m_report.facts;
    // A device that refused this client's certificate (told after the
    // handshake by TLS 1.3) was never really connected.
    const ConnectionFacts connection = m_connection.Facts();
    if (facts.connected && connection.tlsFailure == tls::Failure::kCertRefused) {
        facts.tlsFailure = connection.tlsFailure;
        facts.tlsDetail = connection.tlsDetail;
        m_observer.OnTlsRefused(facts.target, facts);
    }
    facts.seconds = std::chrono::duration<double>(m_now - m_start).count();
    if (m_report.stopped) {
        m_observer.OnStopped(m_report);
    }
    m_stage = Stage::kDone;
    return Step::kDone;
}

}  // namespace kelvarin
