// A job's steps as log lines.
#include "job_log.h"

namespace kelvarin {

JobLog::JobLog(const MessageCatalog& catalog, LogSink& log, ProgressSink& progress,
               FieldNames names)
    : m_catalog(catalog), m_log(log), m_progress(progress), m_names(std::move(names)) {}

void JobLog::OnSiteSkipped(const SkippedEntry& entry) {
    m_log.AppendLine(m_catalog.SiteSkippedLine(entry));
}

void JobLog::OnRefused(const PlanProblem& problem, const PackResult* packed) {
    if (packed) {
        OnPacked(*packed);
    }
    if (problem.fault == PlanFault::kPartial && packed) {
        m_log.AppendLine(m_catalog.NothingSentLine(*packed, problem.kind == JobKind::kPack));
        return;
    }
    for (const std::string& line : m_catalog.RefusalLines(problem, m_names)) {
        m_log.AppendLine(line);
    }
}

void JobLog::OnTraceFailed(const std::string& path) {
    m_log.AppendLine(m_catalog.Text(MessageId::kTraceFailed, {path}));
}

void JobLog::OnConnected(const FleetTarget& target, bool ok, const TargetResult& facts) {
    m_log.AppendLine(m_catalog.ConnectLine(target, ok, facts));
}

void JobLog::OnTlsInUse() {
    m_tls = true;
    m_roleRefused = false;
}

void JobLog::OnTlsKeyReadable(const std::string& path) {
    m_log.AppendLine(m_catalog.Text(MessageId::kTlsKeyReadable, {path}));
}

void JobLog::OnTlsRefused(const FleetTarget& target, const TargetResult& facts) {
    m_log.AppendLine(m_catalog.ConnectLine(target, false, facts));
}

void JobLog::OnTlsAnyName() {
    m_log.AppendLine(m_catalog.Text(MessageId::kTlsAnyName));
}

void JobLog::OnPacked(const PackResult& result) {
    for (const std::string& line : m_catalog.PackLines(result)) {
        m_log.AppendLine(line);
    }
}

void JobLog::OnSendStart(std::size_t imageLength) {
    m_progress.SetRange(0, static_cast<std::uint32_t>(imageLength));
    m_log.AppendLine(m_catalog.Text(MessageId::kSendStart));
}

void JobLog::OnDumpFailed(const std::string& path) {
    m_log.AppendLine(m_catalog.Text(MessageId::kDumpFailed, {path}));
}

void JobLog::OnChunk(const ChunkOutcome& outcome) {
    const std::string line = m_catalog.ChunkLine(outcome);
    if (!line.empty()) {
        m_log.AppendLine(line);
    }
    // Over TLS, exception 01 to a write is how a device says the
    // certificate's role may not write: said once, after the first.
    if (m_tls && outcome.exception == 0x01 && !m_roleRefused) {
        m_roleRefused = true;
        m_log.AppendLine(m_catalog.Text(MessageId::kTlsRoleRefused));
    }
    // The chunk on which the connection was lost does not move the bar.
    if (outcome.result != Outcome::kConnectionLost) {
        m_progress.SetPosition(static_cast<std::uint32_t>(outcome.progress));
    }
}

void JobLog::OnRetry(const RequestSpan& request, Result why, int retry, int /*pauseMs*/) {
    m_log.AppendLine(m_catalog.RetryLine(request, why.outcome, retry));
}

void JobLog::OnReconnecting(int attempt, int /*pauseMs*/) {
    m_log.AppendLine(m_catalog.Text(MessageId::kReconnecting, {std::to_string(attempt)}));
}

void JobLog::OnReconnected() {
    m_log.AppendLine(m_catalog.Text(MessageId::kReconnected));
}

void JobLog::OnWindowFallback(Outcome why) {
    m_log.AppendLine(m_catalog.Text(MessageId::kWindowFallback, {m_catalog.TryFailure(why)}));
}

void JobLog::OnSendEnd(const DownloadReport& report) {
    for (const std::string& line : m_catalog.EndLines(report)) {
        m_log.AppendLine(line);
    }
}

void JobLog::OnVerifyStart() {
    m_log.AppendLine(m_catalog.Text(MessageId::kVerifyStart));
}

void JobLog::OnVerified(const VerifyReport& report, bool downloaded) {
    for (const std::string& line : m_catalog.VerifyLines(report, downloaded)) {
        m_log.AppendLine(line);
    }
}

void JobLog::OnVerifyPartial(std::size_t filesLeftOut) {
    m_log.AppendLine(m_catalog.Text(MessageId::kVerifyPartial, {std::to_string(filesLeftOut)}));
}

void JobLog::OnReadOutStart(bool backup) {
    m_log.AppendLine(m_catalog.Text(backup ? MessageId::kBackupStart : MessageId::kReadOutStart));
}

void JobLog::OnReadOut(const PullReport& report, const std::string& file, const std::string& error,
                       bool backup) {
    for (const std::string& line : m_catalog.ReadOutLines(report, file, error, backup)) {
        m_log.AppendLine(line);
    }
}

void JobLog::OnJournalFailed(const std::string& path, const std::string& why) {
    m_log.AppendLine(m_catalog.Text(MessageId::kJournalFailed, {path, why}));
}

void JobLog::OnJournalLarge(const std::string& path, std::uint64_t bytes, std::uint64_t warnBytes) {
    m_log.AppendLine(m_catalog.Text(MessageId::kJournalLarge,
                                    {path, std::to_string(bytes >> 20),
                                     std::to_string(warnBytes >> 20)}));
}

void JobLog::OnJournalLost(const std::string& path, std::size_t records, const std::string& why) {
    m_log.AppendLine(m_catalog.Text(MessageId::kJournalLost, {std::to_string(records), path, why}));
}

void JobLog::OnStopped(const DeviceReport& device) {
    m_log.AppendLine(m_catalog.StoppedLine(device));
}

void JobLog::OnDeltaStart(const DeltaFacts& delta, bool checking) {
    m_log.AppendLine(m_catalog.DeltaStartLine(delta, checking));
}

void JobLog::OnDeltaPlan(const DeltaFacts& delta) {
    for (const std::string& line : m_catalog.DeltaPlanLines(delta)) {
        m_log.AppendLine(line);
    }
}

void JobLog::OnDeltaDone(const DeltaFacts& delta) {
    if (delta.readBack && delta.readBack->outcome != VerifyOutcome::kEqual) {
        for (const std::string& line : m_catalog.VerifyLines(*delta.readBack, true)) {
            m_log.AppendLine(line);
        }
        return;
    }
    m_log.AppendLine(m_catalog.DeltaDoneLine(delta));
}

void JobLog::OnDryRun(const DeltaFacts& plan) {
    m_log.AppendLine(m_catalog.DryRunLine(plan));
}

void JobLog::OnDeviceDone(const DeviceReport& device) {
    m_log.AppendLine(m_catalog.TargetLine(device));
}

}  // namespace kelvarin
