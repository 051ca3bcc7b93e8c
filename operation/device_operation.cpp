// The sequence on one device, stage by stage: each stage hands its driver a
// transfer or bytes to keep, and its end decides the next.
#include "device_operation.h"

#include "wire_trace.h"

namespace kelvarin {

DeviceOperation::DeviceOperation(const OperationPlan& plan, const FleetTarget& target,
                                 TransferIo& connection, OperationObserver& observer)
    : m_plan(plan), m_connection(connection), m_observer(observer) {
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
        default:
            break;
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

DeviceOperation::Step DeviceOperation::Keeping(Stage stage, KeepRequest request) {
    m_stage = stage;
    m_running = nullptr;
    m_keep = request;
    return Step::kKeep;
}

// ---- Read first: leave alone a device that holds the image already ----

DeviceOperation::Step DeviceOperation::StartPrecheck() {
    m_readBack = std::make_unique<ImageReadBack>(m_plan.image, m_plan.transfer, m_observer,
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
    if (Transfer* round = m_pull->NextRound()) {
        return Transferring(Stage::kBackup, *round, false);
    }
    m_read = m_pull->Report();
    m_pull.reset();
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
    return StartDownload();
}

// ---- The download, and the read-back after it ----

DeviceOperation::Step DeviceOperation::StartDownload() {
    m_observer.OnSendStart(m_plan.image.size());
    if (m_plan.dump) {
        return Keeping(Stage::kDump, {KeepRequest::What::kDump, m_plan.image, false});
    }
    return BeginDownload();
}

DeviceOperation::Step DeviceOperation::BeginDownload() {
    m_report.facts.downloaded = true;
    m_download = std::make_unique<ChunkedDownload>(m_plan.image, m_plan.transfer, m_observer,
                                                   m_connection.Transactions());
    return Transferring(Stage::kDownload, m_download->Driven(), true);
}

DeviceOperation::Step DeviceOperation::EndDownload() {
    const DownloadReport report = m_download->Report();
    m_report.facts.download = report;
    m_observer.OnSendEnd(report);
    if (report.stopped) {
        m_report.stopped = true;
        return Finish();
    }
    // A failed download is not read back: its outcome is already known.
    if (!m_plan.verify || !report.Succeeded()) {
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
    m_readBack = std::make_unique<ImageReadBack>(m_plan.image, m_plan.transfer, m_observer,
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

// ---- Pull: the image the device holds, read out and kept ----

DeviceOperation::Step DeviceOperation::StartPull() {
    m_observer.OnReadOutStart(false);
    m_pull = std::make_unique<ImagePull>(m_plan.transfer, m_observer, m_connection.Transactions(),
                                         m_plan.trace, m_plan.label);
    m_stage = Stage::kPull;
    return NextPullRound();
}

DeviceOperation::Step DeviceOperation::NextPullRound() {
    if (Transfer* round = m_pull->NextRound()) {
        return Transferring(Stage::kPull, *round, false);
    }
    m_read = m_pull->Report();
    m_pull.reset();
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
